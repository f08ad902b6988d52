#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/conductor.h"
#include "app/folder_service.h"
#include "app/low_disk.h"
#include "app/operator_record.h"
#include "app/program_state.h"
#include "app/sensor_watch.h"
#include "app/settings.h"
#include "app/startup_error.h"
#include "app/shell.h"
#include "app/telling.h"
#include "app/window_presence.h"
#include "control/control_state.h"
#include "keeping/keeping_news.h"
#include "keeping/log_keeping.h"
#include "rotation/schedule.h"

// The logic behind every event of the window. A shell owns one Core and
// forwards each event to the method of the same name. The Core conducts: it
// keeps the phase of the program, the window's presence and the order of
// things in each event, and leaves every rule to a duty of its own (the
// sensor's watch, the folder's service, the telling, the rotation's news,
// the low-disk warning, the keeping).
namespace brevalt {

class Core final : public Conductor {
public:
    Core(Shell& shell, Platform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer,
         std::string settings_path = k_settings_file_name);

    // Reads the settings, claims the log folder, fills the window, arms the
    // tick, hides the window, puts the icon in place and starts the sensor,
    // or watches the one an earlier Brevalt left running on the folder. On
    // an error nothing after it runs and the error is returned for the shell
    // to report; the program then stays inert, however long the report
    // stays on screen.
    std::optional<StartupError> start_up() override;

    // The 30-second tick: collect ended sensors and start again one that
    // ended by itself, refresh the clock, then rotate once a day, in the
    // configured minute or at the first tick after it passed unseen.
    void on_tick() override;

    // The window's buttons, each put on record with what became of the
    // sensor; `by`: asked for over the control channel by that peer.
    void start_sensor(const std::optional<ControlPeer>& by = std::nullopt) override;  // with a sensor running, starts none
    void stop_sensor(const std::optional<ControlPeer>& by = std::nullopt) override;  // never started again by the tick
    void rotate_now(const std::optional<ControlPeer>& by = std::nullopt) override;   // leaves the schedule alone
    // "終了" or closing the window: the sensor keeps running; a compression
    // under way is given up, its log left whole for the next start.
    void exit_program() override;
    void on_icon_clicked() override;  // the left button on the icon: show the window
    // The handle given to Shell::watch_sensor_end is ready: the sensor has
    // ended, told and shown now; the next tick starts it again.
    void on_sensor_end_seen() override;

    // The desktop session is ending (logout, shutdown, a session manager's
    // signal, named by `by`): the sensor Brevalt started ends with it, as on
    // Windows, where the logoff ends it. Then the program ends.
    void end_session(const std::optional<SignalSender>& by = std::nullopt) override;

    // Reads the settings file again without stopping the sensor: the
    // rotation time, keep=, compress= and metrics=. A file that does not
    // read leaves the settings in force, and says why.
    void reload_settings(const std::optional<SignalSender>& by = std::nullopt) override;

    // The process is ending without any handler having chosen to (a session
    // manager's quit, the display server gone): the same as end_session,
    // unless the operator chose to exit. Safe to call more than once.
    void on_process_end(const std::optional<SignalSender>& by = std::nullopt) override;

    // The machine's service has come to own the sensor: the sensor this
    // Brevalt started or took over stops within its grace, so that the
    // service, waiting for the folder, starts the one sensor; nothing more
    // happens here, and the shell goes on as a view of the service.
    void hand_over_to_service();

    // A notification area has come up (late at logon, or again after the
    // panel or task bar restarted): put the icon there, and hide a window
    // shown only for want of it.
    void on_notification_area_appeared() override;

    // Started by the start at logon: a user who may not run Brevalt is let
    // go quietly rather than shown a box.
    void set_started_at_logon(bool at_logon) override { started_at_logon_ = at_logon; }

    [[nodiscard]] const ProgramState& state() const { return state_; }
    // The control channel's report hears what is told; none, none.
    void report_to(TellingFollower* report) { telling_.follow_with(report); }
    [[nodiscard]] std::uint64_t rotation_failures() const { return telling_.rotation_failures(); }
    // The control channel could not be opened: the sensor is served all the same.
    void tell_channel_failure(const std::string& path, const SysResult& result);

private:
    enum class Phase { starting, running, failed, ending };

    void start_own_sensor(const LocalTime& now);
    void rotate();
    std::optional<StartupError> refuse_start(const Text& text);
    // The one path for a claim found lost: serves the folder where it is
    // free again (starting a sensor, or watching the one left on it), and
    // waits otherwise.
    void serve_or_wait(const LocalTime& now);
    // Deleting and compressing dated logs where the operator asked for it,
    // after the sensor runs again, off the window's thread. `rotated`: the
    // dated logs a rotation just made, which retention never deletes; after
    // a rotation a pass runs even with keeping off, to tell a clock behind.
    void keep_logs_in_background(const std::vector<std::string>& rotated = {});
    void tell_keeping_news();

    Shell& shell_;
    Platform& platform_;
    Sensor& sensor_;
    LogKeeper& keeper_;
    std::string settings_path_;
    Telling telling_;
    FolderService folder_;
    SensorWatch watch_;
    LowDiskWarning low_disk_;
    OperatorRecord record_;
    WindowPresence window_;
    Settings in_force_;  // without the warnings, told once
    KeepingNews keeping_news_;
    // Empty when the program folder is unknown.
    std::string log_folder_;
    ProgramState state_;
    DailySchedule schedule_;
    bool started_at_logon_ = false;
    Phase phase_ = Phase::starting;
};

}  // namespace brevalt
