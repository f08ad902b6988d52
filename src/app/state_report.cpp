#include "app/state_report.h"

#include <utility>

#include "rotation/clock_text.h"
#include "rotation/log_names.h"
#include "rotation/schedule.h"

namespace brevalt {

std::string next_rotation_text(const std::string& rotation_time, const LocalTime& now, bool tomorrow) {
    const std::optional<int> minute = minute_of_day(rotation_time);
    if (!minute) return {};
    int date = now.year * 10000 + now.month * 100 + now.day;
    // Today's minute still ahead and not done yet: today; otherwise tomorrow.
    if (tomorrow || *minute < now.hour * 60 + now.minute) date = next_day(date);
    const LocalTime next{date / 10000, date / 100 % 100, date % 100, *minute / 60, *minute % 60, 0};
    return stamp_text(next).substr(0, 16);
}

StateReport::StateReport(std::string mode, std::string user) {
    state_.mode = std::move(mode);
    state_.user = std::move(user);
}

void StateReport::follow_with(ControlListener* listener) {
    listener_ = listener;
    tell_listener();
}

void StateReport::tell_listener() {
    if (listener_ != nullptr) listener_->publish(state_);
}

void StateReport::sensor(const SensorStatus& status, SensorState state) {
    ControlState next = state_;
    next.sensor = state;
    next.pid = status.runs() ? status.pid : std::nullopt;
    next.since = status.runs() ? status.since_stamp : std::string();
    next.served_by = status.holder;
    if (std::exchange(state_, next) != next) tell_listener();
}

void StateReport::ended(SensorState state) {
    if (std::exchange(state_.sensor, state) != state) tell_listener();
}

void StateReport::rotation_time(const std::string& rotation_time, const LocalTime& now, bool tomorrow) {
    const std::string next = next_rotation_text(rotation_time, now, tomorrow);
    if (state_.rotation_time == rotation_time && state_.next_rotation == next) return;
    state_.rotation_time = rotation_time;
    state_.next_rotation = next;
    tell_listener();
}

void StateReport::rotated(const LocalTime& at) {
    state_.last_rotation = stamp_text(at);
    tell_listener();
}

void StateReport::failure(const std::string& english_text, const LocalTime& at) {
    state_.last_failure = english_text;
    state_.last_failure_at = stamp_text(at);
    tell_listener();
}

}  // namespace brevalt
