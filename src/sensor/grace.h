#pragma once

#include "sensor/sensor.h"

namespace brevalt {

// How long a stopped sensor gets to close its logs before it is killed:
// session managers wait a few seconds for their clients, and a start must
// not wait much longer for the sensor it replaces.
inline constexpr unsigned k_stop_grace_ms = 3000;

// Ends every sensor stopped so far: each gets the grace to close its logs,
// asked every `step_ms` whether it is gone, so that a sensor quick to end
// costs no more than it needs; one still alive after the grace is killed.
// `sleep_ms` is the caller's own way to wait.
template <typename Sleep>
void end_stopped_within_grace(Sensor& sensor, unsigned step_ms, Sleep&& sleep_ms) {
    for (unsigned waited = 0; waited < k_stop_grace_ms && !sensor.stopped_gone(); waited += step_ms) sleep_ms(step_ms);
    sensor.ensure_stopped_gone();
}

}  // namespace brevalt
