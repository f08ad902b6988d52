#include "keeping/keeping_news.h"

#include "rotation/rotation.h"

namespace brevalt {

namespace {

std::string dated(const char* log_name, int date) { return std::string(log_name) + "." + std::to_string(date); }

void add_failures(std::vector<KeepingNews::Line>& lines, const KeepReport& report, bool deleting,
                  Platform& platform) {
    const KeepReport::Failure* first = nullptr;
    std::size_t count = 0;
    for (const KeepReport::Failure& failure : report.failures) {
        if (failure.deleting != deleting) continue;
        if (first == nullptr) first = &failure;
        ++count;
    }
    if (first == nullptr) return;
    std::string text = count == 1 ? "The dated log " + first->name
                                  : std::to_string(count) + " dated logs, " + first->name + " the first,";
    text += deleting ? " could not be deleted: " : " could not be compressed: ";
    text += platform.error_text(first->result.error);
    lines.push_back({Priority::warning, std::move(text)});
}

}  // namespace

std::vector<KeepingNews::Line> KeepingNews::of(const KeepReport& report, const KeepSettings& settings,
                                               Platform& platform) {
    std::vector<Line> lines;
    if (!report.listing.ok()) {
        lines.push_back({Priority::warning, "The log folder could not be read to keep its dated logs: " +
                                                platform.error_text(report.listing.error)});
        return lines;
    }
    if (report.deleted != 0) {
        std::string text = std::to_string(report.deleted) + " dated logs older than the newest " +
                           std::to_string(settings.keep_dates) + " dates were deleted; the oldest kept:";
        if (report.oldest_alert_date_kept != 0) text += " " + dated(k_alert_log, report.oldest_alert_date_kept);
        if (report.oldest_scan_date_kept != 0) text += " " + dated(k_scan_log, report.oldest_scan_date_kept);
        lines.push_back({Priority::info, std::move(text)});
    }
    if (report.compressed != 0) {
        lines.push_back({Priority::info, std::to_string(report.compressed) + " dated logs were compressed"});
    }
    add_failures(lines, report, true, platform);
    add_failures(lines, report, false, platform);
    if (report.volume_cannot_compress && !told_cannot_compress_) {
        told_cannot_compress_ = true;
        lines.push_back({Priority::warning,
                         "The log folder's volume cannot compress files: compress=yes is not carried out there"});
    }
    return lines;
}

}  // namespace brevalt
