#pragma once

#include <string>

#include "platform/platform.h"

// The texts the program makes of a date and time. They never depend on the
// system locale: the schedule compares the configured time with a 24-hour
// H:mm:ss rendering whatever language the machine runs in.
namespace brevalt {

// "H:mm:ss": 24-hour, hour without a leading zero (9:05:00, 21:05:00).
std::string time_text(const LocalTime& t);

// "HH:mm:ss": the H:mm:ss text with one "0" put in front when it is exactly
// 7 characters long (9:05:00 -> 09:05:00).
std::string padded_time_text(const LocalTime& t);

// The schedule's view of the time: the H:mm:ss text, with one "0" put in
// front when it is exactly 7 characters long, cut to its first 5 characters
// (9:05:00 -> 09:05, 21:05:30 -> 21:05, 0:00:20 -> 00:00).
std::string clock_text(const LocalTime& t);

// The clock shown in the window: "yyyy/MM/dd H:mm:ss".
std::string clock_caption(const LocalTime& t);

// A moment for the control channel: "yyyy-MM-dd HH:mm:ss".
std::string stamp_text(const LocalTime& t);

// The date that dated log names carry: "yyyymmdd".
std::string date_stamp(const LocalTime& t);

}  // namespace brevalt
