#include "app/core.h"

#include <utility>
#include <variant>

#include "rotation/clock_text.h"
#include "rotation/rotation.h"
#include "rotation/schedule.h"

namespace brevalt {

Core::Core(Shell& shell, Platform& platform, Sensor& sensor, std::string settings_path)
    : shell_(shell), platform_(platform), sensor_(sensor), settings_path_(std::move(settings_path)) {}

std::optional<StartupError> Core::start_up() {
    phase_ = Phase::failed;
    auto settings = read_settings(settings_path_);
    if (auto* error = std::get_if<SettingsError>(&settings)) return StartupError{std::move(error->message)};
    state_.rotation_time = std::get<std::string>(std::move(settings));
    if (auto error = claim_log_folder()) return error;
    phase_ = Phase::running;

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
    if (phase_ != Phase::running) return;
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

void Core::exit_program() {
    phase_ = Phase::ending;
    shell_.end_program();
}

void Core::end_session() {
    on_process_end();
    shell_.end_program();
}

void Core::on_process_end() {
    if (phase_ == Phase::running) end_sensor_with_session();
    phase_ = Phase::ending;
}

void Core::end_sensor_with_session() {
    phase_ = Phase::ending;
    sensor_.stop();
    // The sensor closes its logs on the stop request; one that has not gone
    // within the grace time is killed, so no sensor outlives the session.
    constexpr unsigned k_step_ms = 100;
    for (unsigned waited = 0; waited < k_session_end_grace_ms && !sensor_.stopped_gone(); waited += k_step_ms) {
        platform_.sleep_ms(k_step_ms);
    }
    sensor_.ensure_stopped_gone();
}

void Core::on_icon_clicked() {
    if (phase_ != Phase::running) return;
    shell_.show_window();
    window_ = WindowState::opened_by_operator;
}

void Core::on_notification_area_appeared() {
    if (phase_ == Phase::running) place_icon();
}

std::optional<StartupError> Core::claim_log_folder() {
    // The log folder is what two Brevalts must not share; where there is
    // none yet, the program folder it would be made in stands for it.
    std::string folder = log_dir(platform_);
    if (!folder.empty()) folder.pop_back();
    FolderClaim claim = platform_.claim_folder(folder);
    if (claim.outcome == FolderClaim::Outcome::missing) {
        folder = platform_.program_dir().path;
        claim = platform_.claim_folder(folder);
    }
    switch (claim.outcome) {
    case FolderClaim::Outcome::claimed:
        return std::nullopt;
    case FolderClaim::Outcome::held_elsewhere: {
        std::string message = "Another Brevalt already serves the log folder \"" + folder + "\"";
        message += claim.detail.empty() ? ", perhaps in another user's session" : " (run by " + claim.detail + ")";
        message += ". This one starts no sensor and ends: two would run two sensors on the same logs.";
        return StartupError{std::move(message)};
    }
    case FolderClaim::Outcome::missing:
    case FolderClaim::Outcome::failed:
        break;
    }
    return StartupError{"Cannot make sure that no other Brevalt serves the log folder \"" + folder +
                        "\": " + (claim.detail.empty() ? std::string("the folder is missing") : claim.detail)};
}

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
