#include "rotation/schedule.h"

#include <chrono>
#include <utility>

#include "rotation/clock_text.h"

namespace brevalt {

// Anything else never matches a clock text, so it has no minute to catch up
// either.
std::optional<int> minute_of_day(std::string_view time) {
    const auto digit = [&](std::size_t i) { return time[i] >= '0' && time[i] <= '9' ? time[i] - '0' : -1; };
    if (time.size() != 5 || time[2] != ':') return std::nullopt;
    const int h1 = digit(0), h2 = digit(1), m1 = digit(3), m2 = digit(4);
    if (h1 < 0 || h2 < 0 || m1 < 0 || m2 < 0) return std::nullopt;
    const int hour = h1 * 10 + h2;
    const int minute = m1 * 10 + m2;
    if (hour > 23 || minute > 59) return std::nullopt;
    return hour * 60 + minute;
}

bool schedule_tick(std::string_view rotation_time, std::int16_t& rotated_flag, std::string_view clock_text) {
    if (rotation_time != clock_text) {
        rotated_flag = 0;
        return false;
    }
    if (rotated_flag != 0) return false;
    rotated_flag = 1;
    return true;
}

std::int64_t wall_seconds(const LocalTime& t) {
    using namespace std::chrono;
    const sys_days date{year{t.year} / month{static_cast<unsigned>(t.month)} / day{static_cast<unsigned>(t.day)}};
    return date.time_since_epoch().count() * k_day_seconds + t.hour * 3600LL + t.minute * 60LL + t.second;
}

void DailySchedule::start(std::string_view rotation_time, const LocalTime& now) {
    rotation_time_ = rotation_time;
    minute_of_day_ = minute_of_day(rotation_time);
    previous_tick_ = now;
    done_day_.reset();
    const std::int64_t seconds = wall_seconds(now);
    if (minute_of_day_ && seconds % k_day_seconds >= (*minute_of_day_ + 1) * 60LL) done_day_ = seconds / k_day_seconds;
}

void DailySchedule::change_time(std::string_view rotation_time, const LocalTime& now) {
    const LocalTime previous = previous_tick_;
    start(rotation_time, now);
    previous_tick_ = previous;
    if (rotated_day_ == wall_day(now)) done_day_ = rotated_day_;
}

bool DailySchedule::done_today(const LocalTime& now) const { return minute_of_day_ && done_day_ == wall_day(now); }

DailySchedule::Decision DailySchedule::tick(std::int16_t& rotated_flag, const LocalTime& now) {
    const LocalTime previous = std::exchange(previous_tick_, now);
    const std::int64_t seconds = wall_seconds(now);
    const std::int64_t today = seconds / k_day_seconds;
    // The latch only speaks for the minute of the tick that set it: after a
    // sleep, or a clock set, the same clock text may be another day's minute.
    if (wall_seconds(previous) / 60 != seconds / 60) rotated_flag = 0;
    if (done_day_ == today) return {};
    if (schedule_tick(rotation_time_, rotated_flag, clock_text(now))) {
        done_day_ = rotated_day_ = today;
        return {Kind::in_minute, previous};
    }
    if (!minute_of_day_) return {};
    // Only today's minute is caught up, once it is over and no tick saw it.
    // Before it, today's rotation in its minute takes in whatever an earlier
    // day's missed minute would have: caught up now, it would be a second
    // rotation today under the same dated name.
    const std::int64_t minute_start = today * k_day_seconds + *minute_of_day_ * 60LL;
    if (seconds < minute_start + 60 || wall_seconds(previous) >= minute_start) return {};
    done_day_ = rotated_day_ = today;
    return {Kind::caught_up, previous};
}

}  // namespace brevalt
