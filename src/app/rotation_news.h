#pragma once

#include <vector>

#include "platform/platform.h"
#include "rotation/rotation.h"
#include "texts/news.h"

namespace brevalt {

// What a rotation did, in the words the operator and the system log get:
// the dated names on success, and otherwise why each log kept its name, or
// the one cause behind both.
std::vector<News> rotation_news(const RotationReport& report, Platform& platform);

// A rotation minute the clock passed unseen (sleep, a clock set forward),
// caught up now: when the clock went from where to where.
News caught_up_news(const std::string& rotation_time, const LocalTime& before, const LocalTime& now);

// What is accepted as it has always been, yet keeps the logs from ever being
// rotated: told at start-up rather than at a minute that never comes.
std::vector<News> never_rotating_news(const std::string& rotation_time, const std::string& log_folder,
                                      Platform& platform);

}  // namespace brevalt
