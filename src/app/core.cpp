#include "app/core.h"

#include <utility>
#include <variant>

#include "rotation/clock_text.h"
#include "rotation/rotation.h"
#include "rotation/schedule.h"

namespace brevalt {

Core::Core(Shell& shell, Platform& platform, Sensor& sensor, std::string settings_path)
    : shell_(shell), platform_(platform), sensor_(sensor), settings_path_(std::move(settings_path)) {}

std::optional<SettingsError> Core::start_up() {
    auto settings = read_settings(settings_path_);
    if (auto* error = std::get_if<SettingsError>(&settings)) return std::move(*error);
    state_.rotation_time = std::get<std::string>(std::move(settings));

    shell_.show_rotation_time(state_.rotation_time);
    shell_.show_clock(clock_caption(platform_.now()));
    shell_.start_tick_timer(k_tick_interval_ms);
    state_.rotated_flag = 0;
    shell_.hide_icon_picture();
    shell_.prepare_icon();
    shell_.hide_window();
    window_ = WindowState::hidden;
    place_icon();
    start_sensor();
    return std::nullopt;
}

void Core::on_tick() {
    sensor_.reap();
    // One reading serves both the clock and the schedule, so the window
    // never shows a time other than the one the schedule acted on.
    const LocalTime now = platform_.now();
    shell_.show_clock(clock_caption(now));
    if (schedule_tick(state_.rotation_time, state_.rotated_flag, clock_text(now))) rotate_now();
}

void Core::start_sensor() { (void)sensor_.start(); }

void Core::stop_sensor() { sensor_.stop(); }

void Core::rotate_now() { (void)rotate_logs(platform_, sensor_); }

void Core::exit_program() { shell_.end_program(); }

void Core::on_icon_clicked() {
    shell_.show_window();
    window_ = WindowState::opened_by_operator;
}

void Core::on_notification_area_appeared() { place_icon(); }

void Core::place_icon() {
    if (shell_.register_icon()) {
        if (window_ == WindowState::shown_for_missing_icon) {
            shell_.hide_window();
            window_ = WindowState::hidden;
        }
        return;
    }
    // Without an icon there would be no way back to a hidden window.
    if (window_ == WindowState::hidden) {
        shell_.show_window();
        window_ = WindowState::shown_for_missing_icon;
    }
}

}  // namespace brevalt
