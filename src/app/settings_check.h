#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

// `brevalt --check`: what Brevalt would do with the settings file it would
// read, before it is trusted with the logs, as `nginx -t` does for its
// configuration. Nothing is started or claimed, and no display is needed.
namespace brevalt {

// Where the sensor was found, or where it was looked for in vain.
struct SensorLookup {
    std::optional<std::string> found;
    std::string searched;
};

struct SettingsCheck {
    std::string report;  // for standard output: each setting with its path
    int status = 0;      // 0: Brevalt would start with it; 1: it would not
};

SettingsCheck check_settings(Platform& platform, const std::string& settings_path, const SensorLookup& sensor);

}  // namespace brevalt
