#pragma once

#include <optional>
#include <string>

#include "app/program_state.h"
#include "app/settings.h"
#include "app/shell.h"
#include "platform/platform.h"
#include "sensor/sensor.h"

// The logic behind every event of the window. A shell owns one Core and
// forwards each event to the method of the same name; the Core decides what
// happens and tells the shell what to show.
namespace brevalt {

inline constexpr unsigned k_tick_interval_ms = 30000;
// The process status when start-up fails (no usable settings file).
inline constexpr int k_startup_error_status = 1;

class Core {
public:
    Core(Shell& shell, Platform& platform, Sensor& sensor, std::string settings_path = k_settings_file_name);

    // Reads the settings, fills the window, arms the tick, hides the window,
    // puts the icon in place and starts the sensor. On a settings error
    // nothing after the read runs (no sensor, no icon) and the error is
    // returned for the shell to report before it ends the program with
    // k_startup_error_status.
    std::optional<SettingsError> start_up();

    // The 30-second tick: collect ended sensors, refresh the clock, then
    // rotate once in the configured minute.
    void on_tick();

    void start_sensor();  // a second press starts a second sensor
    void stop_sensor();
    void rotate_now();    // leaves the schedule's latch alone
    void exit_program();  // the sensor keeps running
    void on_icon_clicked();  // the left button on the icon: show the window

    // A notification area has come up (late at logon, or again after the
    // panel or task bar restarted): put the icon there. A window that was
    // shown only because the icon was missing is hidden again; one the
    // operator opened stays open.
    void on_notification_area_appeared();

    [[nodiscard]] const ProgramState& state() const { return state_; }

private:
    // Why the window is on screen, which decides whether an icon that comes
    // in may hide it again.
    enum class WindowState { hidden, shown_for_missing_icon, opened_by_operator };

    void place_icon();

    Shell& shell_;
    Platform& platform_;
    Sensor& sensor_;
    std::string settings_path_;
    ProgramState state_;
    WindowState window_ = WindowState::hidden;
};

}  // namespace brevalt
