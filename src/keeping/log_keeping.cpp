#include "keeping/log_keeping.h"

#include <algorithm>
#include <cstdint>

namespace brevalt {

namespace {

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

namespace {

bool ends_with(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool same_day_of_log(const DatedLog& a, const DatedLog& b) { return a.alert == b.alert && a.date == b.date; }

bool among(const std::vector<DatedLog>& logs, const DatedLog& log) {
    return std::any_of(logs.begin(), logs.end(), [&](const DatedLog& other) { return same_day_of_log(other, log); });
}

// The dated logs of the latest rotation: those just made, recorded by marks
// for a later start, or else those the marks recorded earlier.
std::vector<DatedLog> latest_rotation(LogFolder& folder_ops, const std::string& folder, const KeepSettings& settings,
                                      const std::vector<std::string>& rotated, const std::vector<std::string>& marks) {
    std::vector<DatedLog> latest;
    for (const std::string& name : rotated.empty() ? marks : rotated) {
        const std::string_view dated = rotated.empty() ? std::string_view(name).substr(k_latest_prefix.size()) : name;
        if (const auto log = parse_dated_log(dated); log && !log->gzipped) latest.push_back(*log);
    }
    // Only retention needs the record. A mark that cannot be written costs
    // the protection across a restart only, and a folder that refuses it
    // refuses the deletions as well, which are told.
    if (rotated.empty() || settings.keep_dates == 0) return latest;
    for (const std::string& name : rotated) {
        static_cast<void>(folder_ops.mark(folder, std::string(k_latest_prefix) + name));
    }
    for (const std::string& mark : marks) {
        const std::string_view dated = std::string_view(mark).substr(k_latest_prefix.size());
        if (std::find(rotated.begin(), rotated.end(), dated) == rotated.end()) {
            static_cast<void>(folder_ops.remove(folder, mark));
        }
    }
    return latest;
}

}  // namespace

KeepReport keep_logs(LogFolder& folder_ops, const std::string& folder, const KeepSettings& settings,
                     const std::atomic<bool>& stop, const std::vector<std::string>& rotated) {
    KeepReport report;
    std::vector<FolderEntry> entries;
    report.listing = folder_ops.list(folder, entries);
    if (!report.listing.ok()) return report;

    std::vector<Found> logs;
    std::vector<std::string> marks;
    for (const FolderEntry& entry : entries) {
        if (entry.kind == FolderEntry::Kind::other) continue;
        const std::string_view name = entry.name;
        // A compression cut short by a kill or a power cut; its original is
        // still whole beside it and is compressed again below.
        if (entry.kind == FolderEntry::Kind::file && name.size() > k_partial_suffix.size() &&
            ends_with(name, k_partial_suffix)) {
            const std::string_view original = name.substr(0, name.size() - k_partial_suffix.size());
            if (const auto log = parse_dated_log(original); log && !log->gzipped) {
                if (const SysResult removed = folder_ops.remove(folder, entry.name); !removed.ok()) {
                    report.failures.push_back({entry.name, true, removed});
                }
            }
            continue;
        }
        if (entry.kind == FolderEntry::Kind::file && name.substr(0, k_latest_prefix.size()) == k_latest_prefix) {
            marks.push_back(entry.name);
            continue;
        }
        if (const auto log = parse_dated_log(name)) logs.push_back({&entry, *log});
    }

    const std::vector<DatedLog> latest = latest_rotation(folder_ops, folder, settings, rotated, marks);
    // A date older than one already there: the clock is behind, or was when
    // the newer log was named. Retention must not take it for the oldest.
    for (const DatedLog& log : rotated.empty() ? std::vector<DatedLog>{} : latest) {
        const Found* newest = nullptr;
        for (const Found& found : logs) {
            const int newest_date = newest != nullptr ? newest->log.date : log.date;
            if (found.log.alert == log.alert && found.log.date > newest_date) newest = &found;
        }
        if (newest == nullptr) continue;
        report.rotated_behind = dated_name(log.log_name(), log.date);
        report.newer_in_folder = newest->entry->name;
        break;
    }

    const int alert_oldest = oldest_date_kept(logs, true, settings.keep_dates);
    const int scan_oldest = oldest_date_kept(logs, false, settings.keep_dates);
    report.oldest_alert_date_kept = alert_oldest;
    report.oldest_scan_date_kept = scan_oldest;
    std::vector<Found> kept;
    for (const Found& found : logs) {
        if (found.log.date >= (found.log.alert ? alert_oldest : scan_oldest) || among(latest, found.log)) {
            int& oldest = found.log.alert ? report.oldest_alert_date_kept : report.oldest_scan_date_kept;
            oldest = std::min(oldest, found.log.date);
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
    // place in `kept`. A log changed a moment ago may still be written to.
    std::vector<SortKey> order;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Found& found = kept[i];
        const std::int64_t age = found.entry->age_seconds;
        const bool quiet = age >= k_quiet_seconds || age <= -k_quiet_seconds;
        if (found.entry->kind == FolderEntry::Kind::file && !found.log.gzipped && !found.entry->compressed_in_place &&
            quiet) {
            order.push_back(static_cast<SortKey>(found.log.date) << 32 | i);
        }
    }
    std::sort(order.begin(), order.end());
    for (const SortKey key : order) {
        if (stop.load()) break;
        const Found& found = kept[static_cast<std::size_t>(key & 0xFFFFFFFFu)];
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
        case LogFolder::Compressed::in_use:
            report.in_use.push_back(found.entry->name);
            break;
        case LogFolder::Compressed::gz_differs:
            report.gz_differs.push_back(found.entry->name);
            break;
        }
    }
    return report;
}

}  // namespace brevalt
