#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "app/quick_ends.h"
#include "app/sensor_status.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/standby.h"
#include "keeping/keeping_news.h"
#include "keeping/log_keeping.h"
#include "metrics/metrics.h"
#include "platform/platform.h"
#include "rotation/rotation.h"
#include "rotation/schedule.h"
#include "sensor/sensor.h"
#include "texts/texts.h"

// The logic behind every event of the window. A shell owns one Core and
// forwards each event to the method of the same name; the Core decides what
// happens and tells the shell what to show.
namespace brevalt {

inline constexpr unsigned k_tick_interval_ms = 30000;
// The process status when start-up fails (no usable settings file, or the
// log folder already served by another Brevalt).
inline constexpr int k_startup_error_status = 1;
// How long the sensor gets to close its logs when the desktop session ends,
// before it is killed: session managers wait a few seconds for their clients.
inline constexpr unsigned k_session_end_grace_ms = 3000;

// Why start-up stopped, for the shell to report before it ends the program.
struct StartupError {
    std::string message;  // English, for standard error
    std::string shown;    // the same in the operator's language, for the box
    // Nothing to show: the program ends with status 0. A user who may not
    // run Brevalt, started by the start at logon that every user's logon
    // runs, is no failure of theirs.
    bool quiet = false;
};

class Core {
public:
    Core(Shell& shell, Platform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer,
         std::string settings_path = k_settings_file_name);

    // Reads the settings, claims the log folder, fills the window, arms the
    // tick, hides the window, puts the icon in place and starts the sensor,
    // or watches the one an earlier Brevalt left running on the folder.
    // On an error (no usable settings, the log folder served by another
    // Brevalt) nothing after it runs and the error is returned for the shell
    // to report before it ends the program with k_startup_error_status. The
    // program then stays inert: no later event registers an icon, starts a
    // sensor or shows the window, however long the report stays on screen.
    std::optional<StartupError> start_up();

    // The 30-second tick: collect ended sensors and start again one that
    // ended by itself, refresh the clock, then rotate once a day, in the
    // configured minute or at the first tick after it passed unseen. Tells
    // what the dated logs' keeping did since the last tick.
    void on_tick();

    void start_sensor();  // with a sensor running, says so and starts none
    void stop_sensor();   // a stopped sensor is never started again by the tick
    void rotate_now();    // leaves the schedule alone
    // "終了" or closing the window: the sensor keeps running; a compression
    // under way is given up, its log left whole for the next start.
    void exit_program();
    void on_icon_clicked();  // the left button on the icon: show the window
    // The handle given to Shell::watch_sensor_end is ready: the sensor has
    // ended. Told now and shown on the icon; the next tick starts it again.
    void on_sensor_end_seen();

    // The desktop session is ending (logout, shutdown, a session manager's
    // signal): the sensor Brevalt started ends with it, as on Windows, where
    // the logoff ends it. Then the program ends.
    void end_session();

    // The process is ending without any handler having chosen to (a session
    // manager's quit, the display server gone): the same as end_session,
    // unless the operator chose to exit and leave the sensor running. Does
    // not ask the shell to end; safe to call more than once.
    void on_process_end();

    // A notification area has come up (late at logon, or again after the
    // panel or task bar restarted): put the icon there. A window that was
    // shown only because the icon was missing is hidden again; one the
    // operator opened stays open.
    void on_notification_area_appeared();

    // Started by the start at logon, which runs for every user: one who may
    // not run Brevalt is let go quietly rather than shown a box.
    void set_started_at_logon(bool at_logon) { started_at_logon_ = at_logon; }

    [[nodiscard]] const ProgramState& state() const { return state_; }

private:
    // Why the window is on screen, which decides whether an icon that comes
    // in may hide it again.
    enum class WindowState { hidden, shown_for_missing_icon, opened_by_operator };

    enum class Phase { starting, running, failed, ending };

    void place_icon();
    // Every failure and unexpected change goes to the system log, and all
    // but the routine ones to the operator as well.
    void tell(Priority priority, const Text& text);
    // `text` in the operator's language.
    std::string shown(const Text& text);
    // The icon and its tooltip follow the sensor; the shell hears only of
    // changes. Also hands the shell what to wait on for the sensor's end.
    void show_status(SensorStatus status);
    static SensorState metrics_state(SensorStatus::Kind kind);
    void show_running(const LocalTime& since);
    // Collects a sensor that ended by itself and tells it, once; the end is
    // kept for the tick that starts it again.
    void notice_sensor_end();
    bool launch_sensor(const LocalTime& now);
    void tell_start_failure(const SysResult& result);
    void on_sensor_ended(const LocalTime& now, bool rotating);
    void tell_sensor_ended_unseen();
    void tell_what_never_works();
    void tell_started(bool taken_over);
    void tell_rotation(const RotationReport& report);
    void tell_rename(const char* log_name, const std::string& dated_name, const std::string& taken_by,
                     const SysResult& result);
    void check_free_space(const std::string& folder, const LocalTime& now);
    void end_sensor_with_session();
    // The claim, and why start-up stops where it is neither ours nor
    // another operator's to wait for.
    FolderClaim claim_log_folder(std::string folder, Text& refusal);
    // Claims the folder again: serves it where it is free (starting a
    // sensor, or watching the one left on it), and waits otherwise.
    void serve_or_wait(const LocalTime& now);
    // Watches the sensor an earlier Brevalt left running on the folder.
    void watch_taken_over(long pid, const LocalTime& now);
    void wait_for(const FolderClaim& claim);
    // While waiting, the window's buttons do nothing and say why.
    bool refused_while_waiting();
    std::optional<StartupError> refuse_start(const Text& text);
    // Deleting and compressing dated logs, where the operator asked for it;
    // always after the sensor runs again, never on the window's thread.
    // `rotated`: the dated logs a rotation just made, which retention never
    // deletes. After a rotation a pass runs even with keeping off, to tell a
    // clock that is behind.
    void keep_logs_in_background(const std::vector<std::string>& rotated = {});
    void tell_keeping_news();
    // Writes the metrics file where the operator asked for one: at every
    // change of the sensor's state and every tick, so that the file's age
    // tells whether this Brevalt still watches. A failure is told once,
    // and the next write tries again.
    void publish_metrics();

    Shell& shell_;
    Platform& platform_;
    Sensor& sensor_;
    LogKeeper& keeper_;
    MetricsWriter& metrics_writer_;
    std::string settings_path_;
    KeepSettings keeping_;
    KeepingNews keeping_news_;
    // Without a trailing separator; empty when the program folder is unknown.
    std::string log_folder_;
    // The folder whose claim decides who serves: the log folder, or the
    // program folder where there is no log folder yet.
    std::string claimed_folder_;
    Standby standby_;
    ProgramState state_;
    DailySchedule schedule_;
    QuickEnds quick_ends_;
    std::string metrics_path_;  // empty: no metrics file
    MetricsSnapshot metrics_;
    bool metrics_unwritten_ = false;  // the last write failed, and was told
    StatusOnShow status_on_show_;
    // Told already, and not yet started again by a tick.
    std::optional<SensorEnd> unrestarted_end_;
    // Days (wall_day) on which the log folder's space was last
    // looked at and last found short, so the warning comes once a day.
    std::int64_t space_checked_day_ = -1;
    std::int64_t space_warned_day_ = -1;
    WindowState window_ = WindowState::hidden;
    bool started_at_logon_ = false;
    Phase phase_ = Phase::starting;
};

}  // namespace brevalt
