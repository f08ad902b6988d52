#pragma once

#include <cstdint>
#include <string>

namespace brevalt {

// Program-wide state, alive for the whole process. The sensor's own record
// lives in the sensor backend.
struct ProgramState {
    // The configured rotation time, "HH:MM"; read once at start-up and never
    // changed while the program runs.
    std::string rotation_time;
    // The schedule's latch: 1 once a tick has rotated in the current
    // matching minute, 0 again at the first tick of another minute.
    std::int16_t rotated_flag = 0;
};

}  // namespace brevalt
