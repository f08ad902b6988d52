#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// Who has a folder open, from the kernel's table of processes: how a
// Brevalt finds the other Brevalt or the sensor left running that serves its
// log folder. Each of those holds a descriptor on the folder (the sensor
// inherits Brevalt's), and nothing else normally does.
namespace brevalt {

// A file as the kernel knows it, whatever its name.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> file_id(const std::string& path);
std::optional<FileId> file_id(int fd);

// A process other than this one with a descriptor open on the folder.
struct FolderHolder {
    pid_t pid = 0;
    int fd = -1;                    // its descriptor on the folder
    std::optional<FileId> program;  // the executable it runs, where we may see it
    bool locks = false;             // that descriptor carries a lock
};

// Every process whose descriptors this user may look at (its own, or all of
// them for root) and that has one open on `folder`.
std::vector<FolderHolder> folder_holders(const FileId& folder);

// True while process `pid` still runs `program` and still has descriptor
// `fd` open on `folder`: checked again once a handle on the process is held,
// so that the one acted on is certainly the one found.
bool still_holds(pid_t pid, int fd, const FileId& folder, const FileId& program);

// "alice, process 1234".
std::string process_owner(pid_t pid);

// "alice, process 1234" for the process that took the lock on the folder,
// from the kernel's table of locks, where this process may see it; empty
// where it may not, or where that process is gone.
std::string lock_taker(const FileId& folder);

// Processes of other users whose command name is `name`, which this user
// may not look into.
std::vector<pid_t> others_processes_named(const std::string& name);

}  // namespace brevalt
