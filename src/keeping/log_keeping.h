#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "rotation/log_names.h"

// Keeping the dated logs: deleting those past the newest N dates and
// compressing the rest, both only when the operator asked for it. The
// decisions live here, the file operations behind LogFolder, the thread that
// runs a pass behind LogKeeper.
namespace brevalt {

// What the operator asked for on the settings file's later lines. Both off
// by default: without them nothing is ever deleted or changed.
struct KeepSettings {
    unsigned keep_dates = 0;  // 0: keep everything
    bool compress = false;

    [[nodiscard]] bool any() const { return keep_dates != 0 || compress; }
};

inline constexpr unsigned k_max_keep_dates = 3650;
// A compression is written under this name beside its log and renamed into
// place only when whole; no dated name ends so.
inline constexpr std::string_view k_partial_suffix = ".gz.partial";
// A log written to within this many seconds of a pass is left for a later
// one: a sensor that was not really stopped, or a program the operator
// pointed at the dated log, would lose what it writes after the last read.
inline constexpr std::int64_t k_quiet_seconds = 15 * 60;
// Beside the dated logs, an empty file per log of the latest rotation,
// named by this prefix and the dated name: retention never deletes them,
// whatever the clock made of their date, even after a restart.
inline constexpr std::string_view k_latest_prefix = ".latest-rotation.";
// Where the kernel cannot tell whether a program still writes a dated log
// (another user's log, a network or stacked file system), only a log quiet
// for this long after the day its rotation named has passed is compressed.
inline constexpr std::int64_t k_settled_seconds = 24 * 60 * 60;
// A compression needs the original's size free, and this much besides for
// the sensor, which writes on meanwhile: a line lost to a full disk is a
// line lost for good.
inline constexpr std::uint64_t k_compress_spare_bytes = std::uint64_t{64} << 20;

// One name in the log folder, as the folder lists it: nothing is ever
// followed, a link is a link whatever it points to.
struct FolderEntry {
    enum class Kind { file, link, other };
    std::string name;
    Kind kind = Kind::other;
    // Already compressed by the file system (Windows); always false where
    // compression writes a ".gz".
    bool compressed_in_place = false;
    // Seconds from its last change to the listing; negative when the clock
    // now reads earlier than it did then.
    std::int64_t age_seconds = 0;
};

// The file operations a pass needs, one implementation per system.
class LogFolder {
public:
    // in_use: written to while it was read, or held open by another program
    // (Windows); left whole for a later pass. gz_differs: "<name>.gz" exists
    // and is not a copy of it; both are left as they are. waits: nothing
    // tells whether a program still writes it, and it is not yet settled.
    // no_room: the disk lacks room for the copy and the sensor's margin.
    enum class Compressed { done, stopped, volume_cannot, failed, in_use, gz_differs, waits, no_room };
    // Why nothing can tell whether a program writes a log.
    enum class Blind { none, not_owner, file_system };
    struct CompressResult {
        Compressed outcome = Compressed::failed;
        SysResult result;
        Blind blind = Blind::none;
        std::string file_system{};  // with Blind::file_system: its name, as "NFS"
        std::uint64_t free_bytes = 0;  // with no_room: what there was
        std::uint64_t size_bytes = 0;  // and the log's size
    };

    virtual ~LogFolder() = default;
    // `folder` has no trailing separator. A folder that does not exist (yet)
    // lists as empty: there is nothing to keep.
    virtual SysResult list(const std::string& folder, std::vector<FolderEntry>& entries) = 0;
    // Removes the name itself: a link goes, its target stays.
    virtual SysResult remove(const std::string& folder, const std::string& name) = 0;
    // Compresses one dated log so that every tool that reads such logs still
    // can. The original stays whole until its compressed form is whole on
    // disk, and stays whole if it changed meanwhile; `stop` set ends the work
    // early with the original untouched. A compressed form that exists
    // already is replaced only when it provably came from this very log.
    // `settled`: quiet for k_settled_seconds after its rotation's day, the
    // only proof there is where no writer can be ruled out otherwise.
    virtual CompressResult compress(const std::string& folder, const std::string& name, bool settled,
                                    const std::atomic<bool>& stop) = 0;
    // An empty regular file of that name, made if it is missing.
    virtual SysResult mark(const std::string& folder, const std::string& name) = 0;
    // Today's date on the local clock, yyyymmdd; 0 when it cannot be read.
    virtual int local_date() = 0;
};

// What one pass did, for the core to tell.
struct KeepReport {
    int today = 0;  // the local date the pass ran on, yyyymmdd
    unsigned deleted = 0;
    std::vector<int> deleted_dates;  // yyyymmdd, each once, oldest first
    int oldest_alert_date_kept = 0;  // yyyymmdd, 0 when none is left
    int oldest_scan_date_kept = 0;
    unsigned compressed = 0;
    bool volume_cannot_compress = false;
    SysResult listing;  // the folder could not be read: nothing was done
    struct Failure {
        std::string name;
        bool deleting = true;  // else compressing
        SysResult result;
    };
    std::vector<Failure> failures;
    std::vector<std::string> in_use;      // dated logs left whole for a later pass
    std::vector<std::string> gz_differs;  // dated logs left beside a ".gz" not made from them
    // Dated logs left for a later day, as nothing tells whether a program
    // writes them: the first of them, and why.
    std::vector<std::string> waiting;
    LogFolder::Blind waiting_blind = LogFolder::Blind::none;
    std::string waiting_file_system;
    // The first log left uncompressed for want of room, with the figures.
    std::string no_room;
    std::uint64_t no_room_free_bytes = 0;
    std::uint64_t no_room_size_bytes = 0;
    // Dated names newer than `reference_date` (the latest rotation's, or
    // today's at start-up): keep deletes nothing while they are there.
    std::vector<std::string> future;
    int reference_date = 0;
    // Marks of the latest rotation that could not be written or removed.
    std::vector<Failure> mark_failures;
    // A rotation named its logs by a date older than a dated log already
    // there: the first such rotated name and the newest name that is newer.
    std::string rotated_behind;
    std::string newer_in_folder;
};

// One pass over the folder: leftovers of an interrupted compression go,
// then the dated logs past the newest `keep_dates` dates of each log, but
// never those of the latest rotation, and nothing at all while a dated name
// is newer than the latest rotation's date (today's at start-up): such a
// name proves the clock wrong now or then, and the newest dates unknown.
// Then every quiet dated log not yet compressed is compressed, oldest
// first, but not those of the rotation that asked for this pass. Only the
// exact dated names are touched, never the live logs, other files or
// folders. `rotated` names the dated logs a rotation just made; where it is
// empty, the latest rotation is the one the folder's marks record.
KeepReport keep_logs(LogFolder& folder_ops, const std::string& folder, const KeepSettings& settings,
                     const std::atomic<bool>& stop, const std::vector<std::string>& rotated = {});

// Records the dated logs a rotation just made as the latest rotation's,
// with keep= only, replacing the earlier record once the new one is whole:
// called by the rotation itself, before it returns, so that no start after
// it takes them for the oldest logs, whatever happens to its pass.
std::vector<KeepReport::Failure> mark_rotation(LogFolder& folder_ops, const std::string& folder,
                                               const KeepSettings& settings, const std::vector<std::string>& rotated);

// The rotated names for a pass that replaces the one still `pending`: a
// pass asked for without any keeps those of the pass it replaces, so that a
// rotation's logs are recorded even when its pass never ran alone.
template <class Pass>
std::vector<std::string> newest_rotation(const std::optional<Pass>& pending, const std::vector<std::string>& rotated) {
    return rotated.empty() && pending ? pending->rotated : rotated;
}

// Runs passes off the window's thread, at low priority.
class LogKeeper {
public:
    virtual ~LogKeeper() = default;
    // Asks for a pass; one asked for while a pass runs follows it. `rotated`:
    // the dated logs a rotation just made, if any.
    virtual void tidy(const std::string& folder, const KeepSettings& settings,
                      const std::vector<std::string>& rotated) = 0;
    // mark_rotation, on the caller's thread, before the rotation's pass is
    // asked for; a failure comes with the next reports.
    virtual void mark_rotation(const std::string& folder, const KeepSettings& settings,
                               const std::vector<std::string>& rotated) = 0;
    // The reports of the passes finished since the last call.
    virtual std::vector<KeepReport> take_reports() = 0;
    // Ends the running pass early, leaving every log whole, and returns when
    // the worker is gone or after a few seconds at most, as the end of a
    // session allows; a worker held up in a call then ends with the process.
    // No pass runs afterwards.
    virtual void stop() = 0;
};

}  // namespace brevalt
