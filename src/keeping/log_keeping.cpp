#include "keeping/log_keeping.h"

#include <algorithm>
#include <cstdint>

namespace brevalt {

namespace {

constexpr std::string_view k_alert_prefix = "alert.ids.";
constexpr std::string_view k_scan_prefix = "scan.log.";
constexpr std::string_view k_gz_suffix = ".gz";

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

struct Found {
    const FolderEntry* entry;
    DatedLog log;
};

// Sorting plain numbers only: the Windows program must stay small, and each
// sort of another type is another copy of the sort in it.
using SortKey = std::uint64_t;

// The oldest date among the newest `keep` dates of one log; 0 when the log
// has none.
int oldest_date_kept(const std::vector<Found>& logs, bool alert, unsigned keep) {
    std::vector<SortKey> dates;
    for (const Found& found : logs) {
        if (found.log.alert == alert) dates.push_back(static_cast<SortKey>(found.log.date));
    }
    if (dates.empty()) return 0;
    std::sort(dates.begin(), dates.end());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
    if (keep == 0 || dates.size() <= keep) return static_cast<int>(dates.front());
    return static_cast<int>(dates[dates.size() - keep]);
}

}  // namespace

std::optional<DatedLog> parse_dated_log(std::string_view name) {
    DatedLog log;
    if (name.substr(0, k_alert_prefix.size()) == k_alert_prefix) {
        name.remove_prefix(k_alert_prefix.size());
    } else if (name.substr(0, k_scan_prefix.size()) == k_scan_prefix) {
        name.remove_prefix(k_scan_prefix.size());
        log.alert = false;
    } else {
        return std::nullopt;
    }
    if (name.size() == 8 + k_gz_suffix.size() && name.substr(8) == k_gz_suffix) {
        log.gzipped = true;
        name.remove_suffix(k_gz_suffix.size());
    }
    log.date = parse_date(name);
    if (log.date == 0) return std::nullopt;
    return log;
}

KeepReport keep_logs(LogFolder& folder_ops, const std::string& folder, const KeepSettings& settings,
                     const std::atomic<bool>& stop) {
    KeepReport report;
    std::vector<FolderEntry> entries;
    report.listing = folder_ops.list(folder, entries);
    if (!report.listing.ok()) return report;

    std::vector<Found> logs;
    for (const FolderEntry& entry : entries) {
        if (entry.kind == FolderEntry::Kind::other) continue;
        const std::string_view name = entry.name;
        // A compression cut short by a kill or a power cut; its original is
        // still whole beside it and is compressed again below.
        if (entry.kind == FolderEntry::Kind::file && name.size() > k_partial_suffix.size() &&
            name.substr(name.size() - k_partial_suffix.size()) == k_partial_suffix) {
            const std::string_view original = name.substr(0, name.size() - k_partial_suffix.size());
            if (const auto log = parse_dated_log(original); log && !log->gzipped) {
                if (const SysResult removed = folder_ops.remove(folder, entry.name); !removed.ok()) {
                    report.failures.push_back({entry.name, true, removed});
                }
            }
            continue;
        }
        if (const auto log = parse_dated_log(name)) logs.push_back({&entry, *log});
    }

    report.oldest_alert_date_kept = oldest_date_kept(logs, true, settings.keep_dates);
    report.oldest_scan_date_kept = oldest_date_kept(logs, false, settings.keep_dates);
    std::vector<Found> kept;
    for (const Found& found : logs) {
        const int oldest = found.log.alert ? report.oldest_alert_date_kept : report.oldest_scan_date_kept;
        if (found.log.date >= oldest) {
            kept.push_back(found);
            continue;
        }
        if (const SysResult removed = folder_ops.remove(folder, found.entry->name); removed.ok()) {
            ++report.deleted;
        } else {
            report.failures.push_back({found.entry->name, true, removed});
        }
    }
    if (!settings.compress) return report;

    // Oldest first: they are the likeliest to be deleted unread, and the
    // first a full disk would want back. Each key is a date above the log's
    // place in `kept`.
    std::vector<SortKey> order;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Found& found = kept[i];
        if (found.entry->kind == FolderEntry::Kind::file && !found.log.gzipped && !found.entry->compressed_in_place) {
            order.push_back(static_cast<SortKey>(found.log.date) << 32 | i);
        }
    }
    std::sort(order.begin(), order.end());
    for (const SortKey key : order) {
        if (stop.load()) break;
        const Found& found = kept[static_cast<std::size_t>(key & 0xFFFFFFFFu)];
        // A ".gz" of the same date beside it is the remains of a pass cut
        // short after its rename; compressing again replaces it whole.
        const LogFolder::CompressResult done = folder_ops.compress(folder, found.entry->name, stop);
        switch (done.outcome) {
        case LogFolder::Compressed::done:
            ++report.compressed;
            break;
        case LogFolder::Compressed::stopped:
            return report;
        case LogFolder::Compressed::volume_cannot:
            report.volume_cannot_compress = true;
            return report;
        case LogFolder::Compressed::failed:
            report.failures.push_back({found.entry->name, false, done.result});
            break;
        }
    }
    return report;
}

}  // namespace brevalt
