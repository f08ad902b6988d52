#include "app/rotation_news.h"

#include "rotation/clock_text.h"
#include "rotation/schedule.h"

namespace brevalt {

namespace {

void add_rename(std::vector<News>& news, const char* log_name, const std::string& dated_name,
                const std::string& taken_by, const SysResult& result, Platform& platform) {
    if (result.ok()) return;
    if (!taken_by.empty()) {
        news.push_back({Priority::warning, {TextId::log_kept_name, {log_name, taken_by}}});
    } else {
        news.push_back({Priority::warning,
                        {TextId::log_not_renamed, {log_name, dated_name, platform.error_text(result.error)}}});
    }
}

// "03:29:50", with the date in front where the clock went over to another
// day, so that a jump over days reads as one.
std::string wall_clock_text(const LocalTime& t, bool with_date) {
    const std::string time = padded_time_text(t);
    if (!with_date) return time;
    const std::string caption = clock_caption(t);
    return caption.substr(0, caption.find(' ') + 1) + time;
}

}  // namespace

News caught_up_news(const std::string& rotation_time, const LocalTime& before, const LocalTime& now) {
    const bool other_day = wall_day(before) != wall_day(now);
    return {Priority::notice,
            {TextId::rotation_caught_up,
             {rotation_time, wall_clock_text(before, other_day), wall_clock_text(now, other_day)}}};
}

std::vector<News> rotation_news(const RotationReport& report, Platform& platform) {
    if (report.alert_rename.ok() && report.scan_rename.ok()) {
        return {{Priority::info, {TextId::logs_rotated, {report.alert_dated_name, report.scan_dated_name}}}};
    }
    // Each log's "No such file or directory" would send the operator
    // looking for a missing log or wrong rights, not for the folder.
    if (!report.log_folder.empty() && !report.alert_rename.ok() && !report.scan_rename.ok() &&
        !platform.is_folder(report.log_folder)) {
        return {{Priority::warning, {TextId::rotation_without_log_folder, {report.log_folder}}}};
    }
    std::vector<News> news;
    add_rename(news, k_alert_log, report.alert_dated_name, report.alert_taken_by, report.alert_rename, platform);
    add_rename(news, k_scan_log, report.scan_dated_name, report.scan_taken_by, report.scan_rename, platform);
    return news;
}

std::vector<News> never_rotating_news(const std::string& rotation_time, const std::string& log_folder,
                                      Platform& platform) {
    std::vector<News> news;
    if (!minute_of_day(rotation_time)) {
        news.push_back({Priority::warning, {TextId::rotation_time_never_matches, {rotation_time}}});
    }
    if (!log_folder.empty() && !platform.is_folder(log_folder)) {
        news.push_back({Priority::warning, {TextId::log_folder_missing, {log_folder}}});
    }
    return news;
}

}  // namespace brevalt
