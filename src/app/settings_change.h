#pragma once

#include <string>

#include "app/settings.h"

// The settings read again while Brevalt runs, set against those in force, in
// the words the system log and the operator get.
namespace brevalt {

// "rotation time 03:30 → 04:00, keep 3 → off": what differs; empty where
// nothing does.
std::string settings_changes(const Settings& before, const Settings& after);

// "rotation time 03:30, keep 30, compress yes, metrics /var/.../brevalt.prom"
std::string settings_summary(const Settings& settings);

}  // namespace brevalt
