#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

// The names of the sensor's logs and of the dated copies a rotation makes of
// them, built and recognised in one place: the rotation that gives the
// names, the keeping that deletes and compresses them and the messages that
// name them must never disagree on what a dated log is.
namespace brevalt {

inline constexpr const char* k_alert_log = "alert.ids";
inline constexpr const char* k_scan_log = "scan.log";
inline constexpr std::string_view k_gz_suffix = ".gz";

// The forms besides the plain one in which a dated name counts as taken: a
// log moved to a name whose ".gz" exists would later be compressed over that
// day's alerts, and a half-made compression is that day's too.
inline constexpr std::array<std::string_view, 3> k_taken_forms = {".gz", ".gz.partial", ".partial"};

// "<program folder>/log", without a trailing separator. Empty when the
// program folder cannot be found: a "log" folder at the file-system root
// would be the wrong one.
std::string log_folder(Platform& platform);

// `name` inside `folder`, with the system's separator.
std::string path_in(Platform& platform, const std::string& folder, std::string_view name);

// "alert.ids.20261207": the name a rotation on that date gives the log.
std::string dated_name(std::string_view log_name, int date);
std::string dated_name(std::string_view log_name, const LocalTime& on);

// "alert.ids.20261207" or "scan.log.20261207.gz": a dated log as a rotation
// names it, compressed or not, with a date that exists in the calendar.
struct DatedLog {
    bool alert = true;     // alert.ids, else scan.log
    int date = 0;          // yyyymmdd
    bool gzipped = false;  // the name ends in ".gz"

    [[nodiscard]] const char* log_name() const { return alert ? k_alert_log : k_scan_log; }
};
std::optional<DatedLog> parse_dated_log(std::string_view name);

// The day after `date` (yyyymmdd) in the calendar.
int next_day(int date);

}  // namespace brevalt
