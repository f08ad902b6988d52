#include "app/telling.h"

#include <utility>

#include "rotation/schedule.h"

namespace brevalt {

namespace {

SensorState metrics_state(SensorStatus::Kind kind) {
    switch (kind) {
    case SensorStatus::Kind::running:
        return SensorState::running;
    case SensorStatus::Kind::stopped:
        return SensorState::stopped;
    case SensorStatus::Kind::given_up:
        return SensorState::given_up;
    case SensorStatus::Kind::start_failed:
        return SensorState::start_failed;
    case SensorStatus::Kind::ended:
        return SensorState::ended;
    case SensorStatus::Kind::served_elsewhere:
    case SensorStatus::Kind::unwatched_elsewhere:
    case SensorStatus::Kind::held_by_unknown:
    case SensorStatus::Kind::service_silent:
        break;
    }
    return SensorState::waiting;
}

}  // namespace

Telling::Telling(Shell& shell, Platform& platform, MetricsWriter& metrics_writer)
    : shell_(shell), platform_(platform), metrics_writer_(metrics_writer) {
    metrics_.version = BREVALT_VERSION;
}

void Telling::tell(const News& news) {
    const std::string said = english(news.text);
    platform_.log_event(news.priority, said);
    if (follower_ != nullptr && news.priority <= Priority::warning) follower_->failure(said, platform_.now());
    if (news.priority != Priority::info) shell_.notify(shown(news.text));
}

void Telling::log_only(Priority priority, const std::string& english_text) {
    platform_.log_event(priority, english_text);
}

std::string Telling::shown(const Text& text) {
    const std::string form = shell_.text_form(text.id);
    return format(form.empty() ? english_form(text.id) : std::string_view(form), text.args);
}

void Telling::show_status(const SensorStatus& status, std::optional<std::intptr_t> end_handle) {
    shell_.watch_sensor_end(end_handle);
    metrics_.sensor_state = metrics_state(status.kind);
    publish_metrics();
    status_ = status;
    status_known_ = true;
    if (follower_ != nullptr) follower_->sensor(status, metrics_.sensor_state);
    redraw_icon();
}

void Telling::rotation_done_today(bool done) {
    if (std::exchange(tomorrow_, done) != done && status_known_) redraw_icon();
    if (follower_ != nullptr) follower_->rotation_time(rotation_time_, platform_.now(), tomorrow_);
}

void Telling::redraw_icon() {
    SensorStatus shown_status = status_;
    shown_status.rotation_tomorrow = tomorrow_;
    // The tooltip gives neither: a restart within the minute changes nothing on show.
    shown_status.pid.reset();
    shown_status.since_stamp.clear();
    if (!status_on_show_.changes_to(shown_status)) return;
    Text tooltip = status_tooltip(status_, rotation_time_);
    // The time alone reads as today's: after today's rotation it is not.
    if (tomorrow_ && !tooltip.args.empty() && tooltip.args.back() == rotation_time_) {
        tooltip.args.back() = shown({TextId::next_rotation_tomorrow, {rotation_time_}});
    }
    shell_.show_sensor_state(status_.runs(), shown(tooltip));
}

void Telling::set_rotation_time(std::string rotation_time) {
    rotation_time_ = std::move(rotation_time);
    metrics_.rotation_scheduled = minute_of_day(rotation_time_).has_value();
    if (follower_ != nullptr) follower_->rotation_time(rotation_time_, platform_.now(), tomorrow_);
    // A time read again changes the tooltip, not the sensor's state.
    status_on_show_ = {};
    if (status_known_) redraw_icon();
}

void Telling::follow_with(TellingFollower* follower) {
    follower_ = follower;
    if (follower_ == nullptr) return;
    follower_->rotation_time(rotation_time_, platform_.now(), tomorrow_);
    if (status_known_) follower_->sensor(status_, metrics_.sensor_state);
}

void Telling::keep_metrics_in(std::string path, std::string log_folder) {
    metrics_path_ = std::move(path);
    log_folder_ = std::move(log_folder);
    metrics_.start_unix_seconds = platform_.unix_time();
}

void Telling::rotated(bool every_log_renamed, std::int64_t unix_seconds) {
    ++metrics_.rotations;
    if (!every_log_renamed) ++metrics_.rotation_failures;
    metrics_.last_rotation_unix_seconds = unix_seconds;
    if (follower_ != nullptr) follower_->rotated(platform_.now());
}

void Telling::session_ended() {
    metrics_.sensor_state = SensorState::session_ended;
    if (follower_ != nullptr) follower_->ended(metrics_.sensor_state);
    publish_metrics();
}

void Telling::exited() {
    metrics_.sensor_state = SensorState::exited;
    if (follower_ != nullptr) follower_->ended(metrics_.sensor_state);
    publish_metrics();
}

void Telling::checked() {
    ++metrics_.checks;
    // A new day moves the next rotation's date.
    if (follower_ != nullptr) follower_->rotation_time(rotation_time_, platform_.now(), tomorrow_);
    publish_metrics();
}

void Telling::publish_metrics() {
    // Where nobody serves (a sensor left running unwatched), the file goes
    // stale, which the shipped alerts report.
    if (metrics_path_.empty() || !serving_) return;
    metrics_.log_folder_free_bytes.reset();
    if (!log_folder_.empty()) {
        const FreeSpace space = platform_.free_space(log_folder_);
        if (space.result.ok()) metrics_.log_folder_free_bytes = space.available_bytes;
    }
    const SysResult written = metrics_writer_.write(metrics_path_, metrics_);
    if (written.ok() != metrics_unwritten_) return;
    metrics_unwritten_ = !written.ok();
    if (metrics_unwritten_) {
        tell(Priority::warning, {TextId::metrics_not_written, {metrics_path_, platform_.error_text(written.error)}});
    } else {
        tell(Priority::info, {TextId::metrics_written_again, {metrics_path_}});
    }
}

}  // namespace brevalt
