#include "keeping/keeping_news.h"

#include <algorithm>

#include "rotation/log_names.h"

namespace brevalt {

namespace {

// "20251101 to 20251130, 20251201 to 20251210, 20251215": runs of days
// (within a month) given by their ends, so that a year's first deletion is
// one line.
std::string date_runs(const std::vector<int>& dates) {
    std::string text;
    for (std::size_t i = 0; i < dates.size();) {
        std::size_t end = i;
        while (end + 1 < dates.size() && dates[end + 1] - dates[end] <= 1) ++end;
        if (!text.empty()) text += ", ";
        text += std::to_string(dates[i]);
        if (end > i) text += (end == i + 1 ? ", " : " to ") + std::to_string(dates[end]);
        i = end + 1;
    }
    return text;
}

// A few names, then how many more.
std::string some_names(const std::vector<std::string>& names) {
    constexpr std::size_t k_shown = 4;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < k_shown; ++i) text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > k_shown) text += " and " + std::to_string(names.size() - k_shown) + " more";
    return text;
}

std::string mebibytes(std::uint64_t bytes) { return std::to_string(bytes >> 20); }

void add_failures(std::vector<News>& lines, const KeepReport& report, bool deleting,
                  Platform& platform) {
    const KeepReport::Failure* first = nullptr;
    std::size_t count = 0;
    for (const KeepReport::Failure& failure : report.failures) {
        if (failure.deleting != deleting) continue;
        if (first == nullptr) first = &failure;
        ++count;
    }
    if (first == nullptr) return;
    std::string why = platform.error_text(first->result.error);
    if (count == 1) {
        lines.push_back({Priority::warning,
                         {deleting ? TextId::keep_delete_failed : TextId::keep_compress_failed, {first->name, why}}});
    } else {
        lines.push_back({Priority::warning,
                         {deleting ? TextId::keep_delete_failed_many : TextId::keep_compress_failed_many,
                          {std::to_string(count), first->name, why}}});
    }
}

}  // namespace

bool KeepingNews::first_time(std::vector<std::string>& told, const std::string& name) {
    if (std::find(told.begin(), told.end(), name) != told.end()) return false;
    told.push_back(name);
    return true;
}

std::vector<News> KeepingNews::of(const KeepReport& report, const KeepSettings& settings,
                                               Platform& platform) {
    std::vector<News> lines;
    if (!report.listing.ok()) {
        lines.push_back(
            {Priority::warning, {TextId::keep_folder_unreadable, {platform.error_text(report.listing.error)}}});
        return lines;
    }
    if (report.deleted != 0) {
        std::string oldest;
        if (report.oldest_alert_date_kept != 0) oldest += " " + dated_name(k_alert_log, report.oldest_alert_date_kept);
        if (report.oldest_scan_date_kept != 0) oldest += " " + dated_name(k_scan_log, report.oldest_scan_date_kept);
        lines.push_back({Priority::info,
                         {TextId::kept_deleted,
                          {std::to_string(report.deleted), std::to_string(settings.keep_dates),
                           date_runs(report.deleted_dates), std::move(oldest)}}});
    }
    if (report.compressed != 0) {
        lines.push_back({Priority::info, {TextId::kept_compressed, {std::to_string(report.compressed)}}});
    }
    add_failures(lines, report, true, platform);
    add_failures(lines, report, false, platform);
    if (!report.rotated_behind.empty()) {
        lines.push_back({Priority::warning, {TextId::clock_behind, {report.rotated_behind, report.newer_in_folder}}});
    }
    for (const std::string& name : report.gz_differs) {
        if (first_time(told_left_, name + ".gz")) {
            lines.push_back({Priority::warning, {TextId::keep_gz_differs, {name, name + ".gz"}}});
        }
    }
    for (const std::string& name : report.in_use) {
        if (first_time(told_left_, name)) lines.push_back({Priority::warning, {TextId::keep_log_in_use, {name}}});
    }
    if (!report.future.empty()) {
        std::string names = some_names(report.future);
        if (names != told_future_) {
            told_future_ = names;
            lines.push_back({Priority::warning,
                             {TextId::keep_future_names, {std::to_string(report.reference_date), std::move(names)}}});
        }
    }
    for (const KeepReport::Failure& failure : report.mark_failures) {
        lines.push_back(
            {Priority::warning, {TextId::keep_mark_failed, {failure.name, platform.error_text(failure.result.error)}}});
    }
    if (!report.waiting.empty()) {
        const bool not_owner = report.waiting_blind == LogFolder::Blind::not_owner;
        const std::string why = not_owner ? std::string("owner") : report.waiting_file_system;
        if (first_time(told_waiting_, why)) {
            const std::string& name = report.waiting.front();
            lines.push_back({Priority::notice, not_owner ? Text{TextId::keep_waits_not_owner, {name}}
                                                         : Text{TextId::keep_waits_file_system, {name, why}}});
        }
    }
    if (!report.no_room.empty() && report.today != told_no_room_date_) {
        told_no_room_date_ = report.today;
        lines.push_back({Priority::warning,
                         {TextId::keep_no_room,
                          {report.no_room, mebibytes(report.no_room_size_bytes), mebibytes(report.no_room_free_bytes)}}});
    }
    if (report.volume_cannot_compress && !told_cannot_compress_) {
        told_cannot_compress_ = true;
        lines.push_back({Priority::warning, {TextId::keep_volume_cannot, {}}});
    }
    return lines;
}

}  // namespace brevalt
