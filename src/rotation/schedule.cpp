#include "rotation/schedule.h"

namespace brevalt {

bool schedule_tick(std::string_view rotation_time, std::int16_t& rotated_flag, std::string_view clock_text) {
    if (rotation_time != clock_text) {
        rotated_flag = 0;
        return false;
    }
    if (rotated_flag != 0) return false;
    rotated_flag = 1;
    return true;
}

}  // namespace brevalt
