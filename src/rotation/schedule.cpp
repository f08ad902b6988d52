#include "rotation/schedule.h"

namespace brevalt {

bool schedule_tick(Module1& state, const std::string& clock_text, const std::function<void()>& rotate) {
    bool rotated = false;
    if (state.rotated_flag == 0 && state.rotation_time == clock_text) {
        rotate();
        state.rotated_flag = 1;
        rotated = true;
    }
    if (state.rotation_time != clock_text) state.rotated_flag = 0;
    return rotated;
}

}  // namespace brevalt
