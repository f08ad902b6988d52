#include "app/core.h"

#include <utility>
#include <variant>

#include "rotation/clock_text.h"
#include "rotation/rotation.h"
#include "rotation/schedule.h"

namespace brevalt {

Core::Core(Shell& shell, Platform& platform, Sensor& sensor, std::string settings_path)
    : shell_(shell), platform_(platform), sensor_(sensor), settings_path_(std::move(settings_path)) {}

std::optional<SettingsError> Core::Form_Load() {
    auto settings = read_settings(settings_path_);
    if (auto* error = std::get_if<SettingsError>(&settings)) return std::move(*error);
    module1_.rotation_time = std::get<std::string>(std::move(settings));

    shell_.set_time_text(module1_.rotation_time);
    shell_.set_clock_caption(clock_caption(platform_.now()));
    shell_.start_timer(k_tick_interval_ms);
    module1_.rotated_flag = 0;
    shell_.hide_picture();
    shell_.prepare_icon();
    shell_.hide_window();
    taskbar_created();
    start_snort_Click();
    return std::nullopt;
}

void Core::Timer1_Timer() {
    sensor_.reap();
    // One reading serves both the caption and the schedule, so the window
    // never shows a time other than the one the schedule acted on.
    const LocalTime now = platform_.now();
    shell_.set_clock_caption(clock_caption(now));
    schedule_tick(module1_, clock_text(now), [this] { rotate_Click(); });
}

void Core::start_snort_Click() { (void)sensor_.start(); }

void Core::Command1_Click() { stop_snort(); }

void Core::stop_snort() { sensor_.stop(); }

void Core::rotate_Click() { (void)rotate_logs(platform_, sensor_); }

void Core::fend_Click() { shell_.end_program(); }

void Core::icon_left_press() { shell_.show_window(); }

void Core::taskbar_created() {
    // Without an icon there would be no way back to a hidden window.
    if (!shell_.register_icon()) shell_.show_window();
}

}  // namespace brevalt
