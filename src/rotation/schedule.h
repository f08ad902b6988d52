#pragma once

#include <cstdint>
#include <string_view>

namespace brevalt {

// One decision of the 30-second schedule, given the clock text of this tick.
// True when the caller must rotate now: the minute matches the rotation time
// and the latch is clear; the latch is then set. It is cleared at the first
// tick of any other minute. The clock text is the one taken before the
// rotation, so a rotation that outlasts its minute leaves the latch set until
// the next tick sees another minute.
bool schedule_tick(std::string_view rotation_time, std::int16_t& rotated_flag, std::string_view clock_text);

}  // namespace brevalt
