#pragma once

#include <functional>
#include <string>

#include "app/module1.h"

namespace brevalt {

// One decision of the 30-second schedule, given the clock text of this tick.
// Rotates when the minute matches and the latch is clear, then sets the
// latch; clears it at the first tick of any other minute. The clock text is
// the one taken before the rotation: a rotation that outlasts its minute
// leaves the latch set until the next tick sees another minute.
// Returns true when it rotated.
bool schedule_tick(Module1& state, const std::string& clock_text, const std::function<void()>& rotate);

}  // namespace brevalt
