#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brevalt {

// The minute of the day of a rotation time of the form HH:MM (two digits
// each, 00:00 to 23:59); none for any other form, which never matches.
std::optional<int> minute_of_day(std::string_view rotation_time);

// One decision of the 30-second schedule, given the clock text of this tick.
// True when the caller must rotate now: the minute matches the rotation time
// and the latch is clear; the latch is then set. It is cleared at the first
// tick of any other minute. The clock text is the one taken before the
// rotation, so a rotation that outlasts its minute leaves the latch set until
// the next tick sees another minute.
bool schedule_tick(std::string_view rotation_time, std::int16_t& rotated_flag, std::string_view clock_text);

// Seconds on the local wall clock since 1970-01-01 00:00:00, read as if the
// local time had no zone and no summer time: the distance between two
// readings is how far the wall clock moved, jumps included.
std::int64_t wall_seconds(const LocalTime& t);
inline constexpr std::int64_t k_day_seconds = 86400;
// The calendar day of `t` as a number (wall_seconds / k_day_seconds).
inline std::int64_t wall_day(const LocalTime& t) { return wall_seconds(t) / k_day_seconds; }

// The scheduled rotation, once per calendar date. The latch alone would miss
// a day whose minute no tick saw (sleep, hibernation, a clock set forward,
// the hour skipped at the start of summer time), rotate twice in a minute
// that comes twice (the clocks going back, a clock set back), and keep a
// day's minute from rotating when the tick before was the same minute of an
// earlier day. So the schedule also remembers the last tick and the date it
// last rotated on.
class DailySchedule {
public:
    enum class Kind { none, in_minute, caught_up };
    struct Decision {
        Kind kind = Kind::none;
        LocalTime previous_tick;  // for caught_up: the last reading before the gap
    };

    // The program starts at `now`. A configured minute that is over already
    // today is not made up for: the operator started Brevalt after it.
    void start(std::string_view rotation_time, const LocalTime& now);

    // One tick at `now`: rotate in the configured minute, or at the first
    // tick after today's configured minute if no tick saw it, and at most
    // once on each calendar date (the date of the tick that rotates). A
    // minute of an earlier day that no tick saw is not caught up: today's
    // own rotation follows. A time in another form than HH:MM never matches
    // and so is never caught up either.
    Decision tick(std::int16_t& rotated_flag, const LocalTime& now);

    // The settings were read again with another time: as at a start, a
    // minute over already today is not made up for, and a date that had
    // its rotation has no second one.
    void change_time(std::string_view rotation_time, const LocalTime& now);

    // Today's rotation is done, or its minute was over at the start: the
    // next one is tomorrow's.
    [[nodiscard]] bool done_today(const LocalTime& now) const;

private:
    std::string rotation_time_;
    std::optional<int> minute_of_day_;
    LocalTime previous_tick_;
    std::optional<std::int64_t> done_day_;  // wall_day of the last rotation, or of a start after its minute
    std::optional<std::int64_t> rotated_day_;  // wall_day of the last rotation
};

}  // namespace brevalt
