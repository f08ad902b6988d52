#include "rotation/log_names.h"

#include "rotation/clock_text.h"

namespace brevalt {

namespace {

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static constexpr int k_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : k_days[month - 1];
}

// Eight digits that name a day of the calendar, or 0.
int parse_date(std::string_view digits) {
    if (digits.size() != 8) return 0;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    const int year = value / 10000;
    const int month = value / 100 % 100;
    const int day = value % 100;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return 0;
    return value;
}

// "alert.ids." when `name` begins with it.
bool strip_log_prefix(std::string_view& name, std::string_view log_name) {
    if (name.size() <= log_name.size() || name.substr(0, log_name.size()) != log_name || name[log_name.size()] != '.') {
        return false;
    }
    name.remove_prefix(log_name.size() + 1);
    return true;
}

}  // namespace

std::string log_folder(Platform& platform) {
    const ProgramDir dir = platform.program_dir();
    if (!dir.result.ok() || dir.path.empty()) return {};
    return path_in(platform, dir.path, "log");
}

std::string path_in(Platform& platform, const std::string& folder, std::string_view name) {
    return folder + platform.path_separator() + std::string(name);
}

std::string dated_name(std::string_view log_name, int date) {
    std::string digits = std::to_string(date);
    if (digits.size() < 8) digits.insert(0, 8 - digits.size(), '0');
    return std::string(log_name) + "." + digits;
}

std::string dated_name(std::string_view log_name, const LocalTime& on) {
    return std::string(log_name) + "." + date_stamp(on);
}

std::optional<DatedLog> parse_dated_log(std::string_view name) {
    DatedLog log;
    if (!strip_log_prefix(name, k_alert_log)) {
        if (!strip_log_prefix(name, k_scan_log)) return std::nullopt;
        log.alert = false;
    }
    if (name.size() == 8 + k_gz_suffix.size() && name.substr(8) == k_gz_suffix) {
        log.gzipped = true;
        name.remove_suffix(k_gz_suffix.size());
    }
    log.date = parse_date(name);
    if (log.date == 0) return std::nullopt;
    return log;
}

int next_day(int date) {
    int year = date / 10000;
    int month = date / 100 % 100;
    int day = date % 100 + 1;
    if (day > days_in_month(year, month)) {
        day = 1;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    return year * 10000 + month * 100 + day;
}

}  // namespace brevalt
