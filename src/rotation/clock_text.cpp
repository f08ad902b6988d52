#include "rotation/clock_text.h"

#include <cstdio>

namespace brevalt {

std::string time_text(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string clock_text(const LocalTime& t) {
    std::string text = time_text(t);
    if (text.size() == 7) text.insert(0, 1, '0');
    return text.substr(0, 5);
}

std::string clock_caption(const LocalTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d ", t.year, t.month, t.day);
    return buf + time_text(t);
}

std::string date_stamp(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year, t.month, t.day);
    return buf;
}

}  // namespace brevalt
