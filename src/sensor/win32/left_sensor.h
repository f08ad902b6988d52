#pragma once

#include <string>

#include "sensor/sensor.h"
#include "sensor/win32/owned_handle.h"

namespace brevalt::win32 {

struct LeftSensor {
    // claimed: none was found; taken_over: `process` is it;
    // left_by_other_user: one this user may not stop; failed: one started
    // from another executable than this Brevalt's, or no way to look.
    FolderClaim claim{};
    // SYNCHRONIZE, PROCESS_TERMINATE and PROCESS_QUERY_LIMITED_INFORMATION,
    // opened before its mark was checked: a handle that cannot come to name
    // a process that got the sensor's id after it ended.
    OwnedHandle process{};
};

// Looks for a sensor that an earlier Brevalt started on `folder` (canonical
// path) and left running: a snort.exe with that Brevalt's mark, started from
// the very executable this Brevalt would start.
LeftSensor find_left_sensor(const std::wstring& folder);

}  // namespace brevalt::win32
