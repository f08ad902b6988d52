#include "sensor/posix/folder_holders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace brevalt {
namespace {

std::string proc(pid_t pid, const std::string& rest = {}) { return "/proc/" + std::to_string(pid) + rest; }

std::optional<pid_t> number(const char* name) {
    char* end = nullptr;
    const long value = std::strtol(name, &end, 10);
    if (end == name || *end != '\0' || value <= 0) return std::nullopt;
    return static_cast<pid_t>(value);
}

using Dir = std::unique_ptr<DIR, int (*)(DIR*)>;
Dir open_dir(const std::string& path) { return {::opendir(path.c_str()), ::closedir}; }

template <typename Visit>
void each_process(Visit visit) {
    const Dir all = open_dir("/proc");
    if (!all) return;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(all.get())) {
        const std::optional<pid_t> pid = number(entry->d_name);
        if (pid && *pid != self) visit(*pid);
    }
}

bool fd_locks(pid_t pid, int fd) {
    std::ifstream info(proc(pid, "/fdinfo/" + std::to_string(fd)));
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("lock:", 0) == 0) return true;
    }
    return false;
}

std::optional<uid_t> owner_uid(pid_t pid) {
    struct stat st {};
    if (::stat(proc(pid).c_str(), &st) != 0) return std::nullopt;
    return st.st_uid;
}

std::string user_name(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) return found->pw_name;
    return "user " + std::to_string(uid);
}

}  // namespace

std::optional<FileId> file_id(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

std::optional<FileId> file_id(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

std::vector<FolderHolder> folder_holders(const FileId& folder) {
    std::vector<FolderHolder> holders;
    each_process([&](pid_t pid) {
        const Dir fds = open_dir(proc(pid, "/fd"));
        if (!fds) return;  // another user's, or gone
        while (const dirent* entry = ::readdir(fds.get())) {
            const std::optional<pid_t> fd = number(entry->d_name);
            if (!fd || file_id(proc(pid, "/fd/") + entry->d_name) != folder) continue;
            holders.push_back({pid, static_cast<int>(*fd), file_id(proc(pid, "/exe")), fd_locks(pid, *fd)});
            return;
        }
    });
    return holders;
}

bool still_holds(pid_t pid, int fd, const FileId& folder, const FileId& program) {
    return file_id(proc(pid, "/fd/" + std::to_string(fd))) == folder && file_id(proc(pid, "/exe")) == program;
}

std::string process_owner(pid_t pid) {
    const std::optional<uid_t> uid = owner_uid(pid);
    const std::string process = "process " + std::to_string(pid);
    return uid ? user_name(*uid) + ", " + process : process;
}

std::string lock_taker(const FileId& folder) {
    std::ifstream locks("/proc/locks");
    char device[48];
    std::snprintf(device, sizeof device, "%02x:%02x:%lu", major(folder.device), minor(folder.device),
                  static_cast<unsigned long>(folder.inode));
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string ordinal, kind, mode, access, pid, where;
        fields >> ordinal >> kind >> mode >> access >> pid >> where;
        if (kind != "FLOCK" || where != device) continue;
        // The kernel keeps the id of the process that took the lock even after
        // it ended and the lock lives on in a descendant: it names the taker
        // only while that is still there.
        const std::optional<pid_t> taker = number(pid.c_str());
        if (taker && owner_uid(*taker)) return process_owner(*taker);
    }
    return {};
}

std::vector<pid_t> others_processes_named(const std::string& name) {
    // The kernel keeps the first 15 bytes of a command name.
    const std::string wanted = name.substr(0, 15);
    const uid_t self = ::geteuid();
    std::vector<pid_t> found;
    each_process([&](pid_t pid) {
        std::ifstream comm(proc(pid, "/comm"));
        std::string command;
        if (!std::getline(comm, command) || command != wanted || owner_uid(pid) == self) return;
        if (::access(proc(pid, "/fd").c_str(), R_OK) == 0) return;  // one we could see into is no stranger
        found.push_back(pid);
    });
    return found;
}

}  // namespace brevalt
