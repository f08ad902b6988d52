#pragma once

#include <optional>
#include <string>

#include "app/module1.h"
#include "app/settings.h"
#include "app/shell.h"
#include "platform/platform.h"
#include "sensor/sensor.h"

// The logic behind every handler of the window. A shell owns one Core and
// forwards each event to the method of the same name; the Core decides what
// happens and tells the shell what to show.
namespace brevalt {

inline constexpr unsigned k_tick_interval_ms = 30000;
// The process status when start-up fails (no usable settings file).
inline constexpr int k_startup_error_status = 1;

class Core {
public:
    Core(Shell& shell, Platform& platform, Sensor& sensor, std::string settings_path = k_settings_file_name);

    // The start-up order. On a settings error nothing after the read runs (no
    // sensor, no icon) and the error is returned for the shell to report
    // before it ends the program with k_startup_error_status.
    std::optional<SettingsError> Form_Load();

    // The 30-second tick: refresh the clock, then rotate once in the
    // configured minute.
    void Timer1_Timer();

    void start_snort_Click();  // start a sensor
    void Command1_Click();     // stop the sensor
    void rotate_Click();       // rotate now; leaves the schedule's latch alone
    void fend_Click();         // end the program; the sensor keeps running
    void icon_left_press();    // show the window
    // The desktop's notification area came back (its shell restarted) and
    // has forgotten the icon: register it again.
    void taskbar_created();

    [[nodiscard]] const Module1& state() const { return module1_; }

private:
    void stop_snort();

    Shell& shell_;
    Platform& platform_;
    Sensor& sensor_;
    std::string settings_path_;
    Module1 module1_;
};

}  // namespace brevalt
