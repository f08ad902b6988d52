#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "sensor/posix/pidfd.h"

// Who serves a log folder, written down in the folder itself: the Brevalt
// that holds its claim and the sensor that Brevalt started or took over.
// A sensor given capture rights is not dumpable, so its descriptors, its
// executable and the owner of its /proc entries are hidden even from its own
// user, and a hardened kernel refuses to copy another process's descriptors:
// this record is how a later Brevalt knows the sensor left running for what
// it is. It is trusted only while it matches a live process exactly, and
// only where no other member can have planted it: the folder has no sticky
// bit, so any operator may rename any file in it, and Brevalt itself leaves
// group-writable files there (the logs, the sensor's output).
namespace brevalt {

// A process for as long as it lives: its id, when it started (clock ticks
// after boot, from /proc/PID/stat, which every user may read) and the boot
// it started in. No other process ever has all three.
struct ProcessIdentity {
    pid_t pid = 0;
    std::uint64_t start_ticks = 0;
    std::string boot_id;
    bool operator==(const ProcessIdentity&) const = default;
};

// The identity of the process that has `pid` now, if any.
std::optional<ProcessIdentity> identity_of(pid_t pid);

struct SensorRecord {
    std::optional<ProcessIdentity> brevalt;
    std::optional<ProcessIdentity> sensor;
};

// The record's file name inside the log folder. Never a dated log's name,
// so keeping the logs leaves it alone.
inline constexpr const char* k_record_name = ".brevalt-record";

// Replaces the record in the folder open as `folder_fd` in one rename, so a
// reader never sees half of one. Readable by the operators, writable by its
// owner only. A record another machine keeps in a shared (network) folder
// is left alone. Nothing on success, else why not, in words.
std::optional<std::string> write_record(int folder_fd, const SensorRecord& record);

// The record in the folder, with the user that wrote it: a process of that
// user is the only one its entries may name. Nothing where there is none,
// or where it may have been planted: anything but a regular file with one
// link, writable by its owner alone.
struct ReadRecord {
    SensorRecord record;
    uid_t writer = 0;
    bool other_machine = false;  // written on another machine: no entry of it is ours to check
};
std::optional<ReadRecord> read_record(int folder_fd);

// A process named by a record, held through a descriptor so that it cannot
// turn into another one while Brevalt acts on it or names it.
struct PinnedProcess {
    pid_t pid = 0;
    uid_t uid = 0;  // its real user
    PidFd process;
};

// Which processes a record entry may name.
enum class Role {
    brevalt,
    // A sensor leads a session and process group of its own, never this
    // process's: a stop signals that whole group.
    sensor
};

// The very process `identity` names, if it still runs, runs as `owner` and
// fits `role`.
std::optional<PinnedProcess> pin(const ProcessIdentity& identity, uid_t owner, Role role);

// "alice", or "user 1001" where the system has no name for the id.
std::string user_name(uid_t uid);

}  // namespace brevalt
