#include "keeping/keeping_news.h"

#include "rotation/log_names.h"

namespace brevalt {

namespace {

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
                          {std::to_string(report.deleted), std::to_string(settings.keep_dates), std::move(oldest)}}});
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
        if (told_left_.insert(name + ".gz").second) {
            lines.push_back({Priority::warning, {TextId::keep_gz_differs, {name, name + ".gz"}}});
        }
    }
    for (const std::string& name : report.in_use) {
        if (told_left_.insert(name).second) lines.push_back({Priority::warning, {TextId::keep_log_in_use, {name}}});
    }
    if (report.volume_cannot_compress && !told_cannot_compress_) {
        told_cannot_compress_ = true;
        lines.push_back({Priority::warning, {TextId::keep_volume_cannot, {}}});
    }
    return lines;
}

}  // namespace brevalt
