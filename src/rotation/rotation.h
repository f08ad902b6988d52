#pragma once

#include <string>

#include "platform/platform.h"
#include "rotation/log_names.h"
#include "sensor/sensor.h"

namespace brevalt {

inline constexpr unsigned k_rotate_wait_ms = 8000;
inline constexpr unsigned k_rotate_wait_step_ms = 200;
// What one rotation did. A rotation always carries on to restart the
// sensor; the caller tells afterwards what went wrong on the way.
struct RotationReport {
    std::string log_folder;  // empty where the program folder is unknown
    std::string alert_dated_name;  // file names, without the folder
    std::string scan_dated_name;
    // The name that kept a log from its dated name, when one did: the dated
    // name itself or its compressed or half-compressed form.
    std::string alert_taken_by;
    std::string scan_taken_by;
    SysResult alert_rename;
    SysResult scan_rename;
    SensorStart start;
};

// Stops the sensor, waits, moves both logs to their dated names and starts
// the sensor again. A dated name is taken when any form of it exists (as it
// is, compressed, or half compressed): a log moved to a name whose ".gz"
// exists would later be compressed over that day's alerts. Once the sensor is stopped,
// every failure (no program folder, no log folder, a missing log, a dated
// name already taken) is passed over so that the sensor is always restarted.
RotationReport rotate_logs(Platform& platform, Sensor& sensor);

}  // namespace brevalt
