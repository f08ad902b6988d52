#pragma once

#include <string>

// The sensor's own words: what it writes to its standard output and error
// goes to a file in the log folder, where the operator finds it and where it
// outlives Brevalt. A pipe would die with Brevalt, and a sensor writing into
// it then would be killed by that; a file inherited by a session's log
// (~/.xsession-errors) is one nobody reads.
namespace brevalt {

// In the log folder; each start of the sensor begins it afresh.
inline constexpr const char* k_sensor_output_name = "sensor.out";

// The last line of the text file at `path` that holds more than blanks,
// without its line end, its control characters dropped and cut to a length
// a notification can show; empty when the file is missing, empty or
// unreadable. Only the file's tail is read, however large it has grown.
std::string last_line_of(const std::string& path);

}  // namespace brevalt
