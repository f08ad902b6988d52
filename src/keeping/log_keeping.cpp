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

// The dated logs of the latest rotation: those just made, or else those
// the folder's marks record.
std::vector<DatedLog> latest_rotation(const std::vector<std::string>& rotated, const std::vector<std::string>& marks) {
    std::vector<DatedLog> latest;
    for (const std::string& name : rotated.empty() ? marks : rotated) {
        const std::string_view dated = rotated.empty() ? std::string_view(name).substr(k_latest_prefix.size()) : name;
        if (const auto log = parse_dated_log(dated); log && !log->gzipped) latest.push_back(*log);
    }
    return latest;
}

// Settled: quiet for a whole period after the day its rotation named has
// passed, so that a writer the kernel cannot tell of has had a day to show.
bool settled(const FolderEntry& entry, const DatedLog& log, int today) {
    return today != 0 && entry.age_seconds >= k_settled_seconds && today >= next_day(next_day(log.date));
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

    const std::vector<DatedLog> latest = latest_rotation(rotated, marks);
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

    // Deleting is judged by the dates in the names; it is sound only while
    // none is newer than the latest rotation (today, at start-up). A newer
    // one was named by a clock that was ahead, or this clock is behind now:
    // either way the newest N dates are not known, and nothing is deleted.
    report.today = folder_ops.local_date();
    if (settings.keep_dates != 0) {
        int reference = rotated.empty() ? report.today : 0;
        for (const DatedLog& log : rotated.empty() ? std::vector<DatedLog>{} : latest) {
            reference = std::max(reference, log.date);
        }
        report.reference_date = reference;
        // In the order of their names (alert.ids before scan.log, then by
        // date, a ".gz" after its log), sorted as numbers.
        std::vector<SortKey> order;
        for (std::size_t i = 0; i < logs.size(); ++i) {
            const DatedLog& log = logs[i].log;
            if (reference != 0 && log.date <= reference) continue;
            order.push_back((SortKey{log.alert ? 0U : 1U} << 62) | (static_cast<SortKey>(log.date) << 30) |
                            (SortKey{log.gzipped ? 1U : 0U} << 29) | i);
        }
        std::sort(order.begin(), order.end());
        for (const SortKey key : order) report.future.push_back(logs[key & ((SortKey{1} << 29) - 1)].entry->name);
    }
    const unsigned keep = report.future.empty() ? settings.keep_dates : 0;
    const int alert_oldest = oldest_date_kept(logs, true, keep);
    const int scan_oldest = oldest_date_kept(logs, false, keep);
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
            report.deleted_dates.push_back(found.log.date);
        } else {
            report.failures.push_back({found.entry->name, true, removed});
        }
    }
    std::sort(report.deleted_dates.begin(), report.deleted_dates.end());
    report.deleted_dates.erase(std::unique(report.deleted_dates.begin(), report.deleted_dates.end()),
                               report.deleted_dates.end());
    if (!settings.compress) return report;

    // Oldest first: they are the likeliest to be deleted unread, and the
    // first a full disk would want back. Each key is a date above the log's
    // place in `kept`. A log changed a moment ago may still be written to.
    std::vector<SortKey> order;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Found& found = kept[i];
        const std::int64_t age = found.entry->age_seconds;
        const bool quiet = age >= k_quiet_seconds || age <= -k_quiet_seconds;
        // The logs a rotation just made may still have a writer that the
        // rotation's stop did not reach; their own pass leaves them.
        const bool just_rotated = !rotated.empty() && among(latest, found.log);
        if (found.entry->kind == FolderEntry::Kind::file && !found.log.gzipped && !found.entry->compressed_in_place &&
            quiet && !just_rotated) {
            order.push_back(static_cast<SortKey>(found.log.date) << 32 | i);
        }
    }
    std::sort(order.begin(), order.end());
    for (const SortKey key : order) {
        if (stop.load()) break;
        const Found& found = kept[static_cast<std::size_t>(key & 0xFFFFFFFFu)];
        const LogFolder::CompressResult done =
            folder_ops.compress(folder, found.entry->name, settled(*found.entry, found.log, report.today), stop);
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
        case LogFolder::Compressed::waits:
            report.waiting.push_back(found.entry->name);
            report.waiting_blind = done.blind;
            report.waiting_file_system = done.file_system;
            break;
        case LogFolder::Compressed::no_room:
            // The others are no smaller on a disk that will not grow.
            report.no_room = found.entry->name;
            report.no_room_free_bytes = done.free_bytes;
            report.no_room_size_bytes = done.size_bytes;
            return report;
        }
    }
    return report;
}

std::vector<KeepReport::Failure> mark_rotation(LogFolder& folder_ops, const std::string& folder,
                                               const KeepSettings& settings, const std::vector<std::string>& rotated) {
    std::vector<KeepReport::Failure> failures;
    // Only retention needs the record.
    if (rotated.empty() || settings.keep_dates == 0) return failures;
    for (const std::string& name : rotated) {
        const std::string mark = std::string(k_latest_prefix) + name;
        if (const SysResult made = folder_ops.mark(folder, mark); !made.ok()) failures.push_back({mark, false, made});
    }
    // The earlier record stays until the new one is whole: two rotations
    // protected are better than none after a restart.
    if (!failures.empty()) return failures;
    std::vector<FolderEntry> entries;
    if (const SysResult listed = folder_ops.list(folder, entries); !listed.ok()) {
        failures.push_back({folder, true, listed});
        return failures;
    }
    for (const FolderEntry& entry : entries) {
        const std::string_view name = entry.name;
        if (entry.kind == FolderEntry::Kind::other || name.substr(0, k_latest_prefix.size()) != k_latest_prefix) continue;
        if (std::find(rotated.begin(), rotated.end(), name.substr(k_latest_prefix.size())) != rotated.end()) continue;
        if (const SysResult removed = folder_ops.remove(folder, entry.name); !removed.ok()) {
            failures.push_back({entry.name, true, removed});
        }
    }
    return failures;
}

}  // namespace brevalt
