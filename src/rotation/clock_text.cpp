#include "rotation/clock_text.h"

#include <charconv>

namespace brevalt {

namespace {

// Appends `value` with at least `width` digits, zero-padded. Kept to
// to_chars: printf-style formatting would drag a whole printf into the
// static Windows executable for a handful of digits.
void append_number(std::string& out, int value, int width) {
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<int>(end - digits);
    if (ec != std::errc{}) return;
    if (length < width) out.append(static_cast<std::size_t>(width - length), '0');
    out.append(digits, end);
}

// "yyyy/MM/dd " with `separator` between the date's numbers.
std::string date_text(const LocalTime& t, char separator) {
    std::string text;
    append_number(text, t.year, 4);
    text += separator;
    append_number(text, t.month, 2);
    text += separator;
    append_number(text, t.day, 2);
    text += ' ';
    return text;
}

}  // namespace

std::string time_text(const LocalTime& t) {
    std::string text;
    append_number(text, t.hour, 1);
    text += ':';
    append_number(text, t.minute, 2);
    text += ':';
    append_number(text, t.second, 2);
    return text;
}

std::string padded_time_text(const LocalTime& t) {
    std::string text = time_text(t);
    if (text.size() == 7) text.insert(0, 1, '0');
    return text;
}

std::string clock_text(const LocalTime& t) { return padded_time_text(t).substr(0, 5); }

std::string stamp_text(const LocalTime& t) { return date_text(t, '-') + padded_time_text(t); }

std::string clock_caption(const LocalTime& t) { return date_text(t, '/') + time_text(t); }

std::string date_stamp(const LocalTime& t) {
    std::string text;
    append_number(text, t.year, 4);
    append_number(text, t.month, 2);
    append_number(text, t.day, 2);
    return text;
}

}  // namespace brevalt
