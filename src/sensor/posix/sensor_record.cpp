#include "sensor/posix/sensor_record.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace brevalt {
namespace {

std::string proc(pid_t pid, const char* entry) { return "/proc/" + std::to_string(pid) + "/" + entry; }

std::string first_line_of(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

const std::string& boot_id() {
    static const std::string id = first_line_of("/proc/sys/kernel/random/boot_id");
    return id;
}

// Which machine wrote a record, where several share a folder over the
// network: the boot id changes with every boot, this does not.
const std::string& machine_id() {
    static const std::string id = first_line_of("/etc/machine-id");
    return id;
}

std::optional<uid_t> real_uid(pid_t pid) {
    std::ifstream status(proc(pid, "status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) != 0) continue;
        std::istringstream fields(line.substr(4));
        uid_t uid = 0;
        if (fields >> uid) return uid;
    }
    return std::nullopt;
}

std::string failed_call(const char* call, int error) { return std::string(call) + " failed: " + std::strerror(error); }

// "brevalt 1234 567890 <boot id>"
void put(std::ostream& out, const char* role, const std::optional<ProcessIdentity>& process) {
    if (process) out << role << ' ' << process->pid << ' ' << process->start_ticks << ' ' << process->boot_id << '\n';
}

// The most a record can hold; anything longer is no record of ours.
constexpr off_t k_record_limit = 512;

// The record as it lies in the folder, if it can only have been written by
// its owner: a renamed log or output file is group-writable, and a hard link
// to another user's file has more than one link.
struct RecordFile {
    std::string text;
    uid_t owner = 0;
};
std::optional<RecordFile> read_record_file(int folder_fd) {
    const int fd = ::openat(folder_fd, k_record_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    char buffer[k_record_limit];
    ssize_t size = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && (st.st_mode & 022) == 0 &&
        st.st_size < k_record_limit) {
        size = ::read(fd, buffer, sizeof buffer);
    }
    ::close(fd);
    if (size < 0) return std::nullopt;
    return RecordFile{std::string(buffer, static_cast<std::size_t>(size)), st.st_uid};
}

// The session and process group `pid` belongs to.
std::optional<std::pair<pid_t, pid_t>> group_and_session(pid_t pid) {
    const std::optional<std::string> stat = stat_after_name(pid);
    if (!stat) return std::nullopt;
    std::istringstream fields(*stat);
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
    if (!(fields >> state >> parent >> group >> session)) return std::nullopt;
    return std::pair{group, session};
}

bool leads_a_group_of_its_own(pid_t pid) {
    const auto ids = group_and_session(pid);
    return ids && ids->first == pid && ids->second == pid && pid != ::getpgrp() && pid != ::getsid(0);
}

}  // namespace

std::optional<ProcessIdentity> identity_of(pid_t pid) {
    const std::optional<std::string> stat = stat_after_name(pid);
    if (!stat) return std::nullopt;
    std::istringstream fields(*stat);
    // The start time is the twentieth field after the name.
    std::string skipped;
    for (int field = 1; field < 20; ++field) fields >> skipped;
    ProcessIdentity identity{pid, 0, boot_id()};
    if (!(fields >> identity.start_ticks) || identity.boot_id.empty()) return std::nullopt;
    return identity;
}

std::optional<std::string> write_record(int folder_fd, const SensorRecord& record) {
    if (const std::optional<ReadRecord> found = read_record(folder_fd); found && found->other_machine) {
        return "another machine keeps its record in this folder";
    }
    std::ostringstream text;
    if (!machine_id().empty()) text << "machine " << machine_id() << '\n';
    put(text, "brevalt", record.brevalt);
    put(text, "sensor", record.sensor);
    const std::string bytes = text.str();
    const std::string temporary = std::string(k_record_name) + "." + std::to_string(::getpid());
    // Made afresh: a file another member left under this name is removed,
    // never written into.
    (void)::unlinkat(folder_fd, temporary.c_str(), 0);
    const int fd = ::openat(folder_fd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0) return failed_call("open", errno);
    const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
    int error = wrote == static_cast<ssize_t>(bytes.size()) ? 0 : (wrote < 0 ? errno : ENOSPC);
    // Whatever the mask: a group-writable record is not believed.
    if (error == 0 && ::fchmod(fd, 0640) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::renameat(folder_fd, temporary.c_str(), folder_fd, k_record_name) == 0) return std::nullopt;
    if (error == 0) error = errno;
    ::unlinkat(folder_fd, temporary.c_str(), 0);
    return failed_call("write", error);
}

std::optional<ReadRecord> read_record(int folder_fd) {
    const std::optional<RecordFile> file = read_record_file(folder_fd);
    if (!file) return std::nullopt;
    ReadRecord read{{}, file->owner};
    std::istringstream lines(file->text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string role;
        if (line.rfind("machine ", 0) == 0) {
            read.other_machine = line.substr(8) != machine_id();
            continue;
        }
        ProcessIdentity identity;
        if (!(fields >> role >> identity.pid >> identity.start_ticks >> identity.boot_id)) continue;
        if (role == "brevalt") read.record.brevalt = identity;
        if (role == "sensor") read.record.sensor = identity;
    }
    if (read.other_machine) read.record = {};
    return read;
}

std::optional<PinnedProcess> pin(const ProcessIdentity& identity, uid_t owner, Role role) {
    if (identity.pid <= 0 || identity.boot_id != boot_id()) return std::nullopt;
    std::optional<PidFd> process = PidFd::open(identity.pid);
    // Compared once the descriptor is held: the id then certainly names the
    // process that started at that moment, and no later one.
    if (!process || identity_of(identity.pid) != identity) return std::nullopt;
    const std::optional<uid_t> uid = real_uid(identity.pid);
    // Read from that process only if it is still there after the reading.
    if (!uid || *uid != owner) return std::nullopt;
    if (role == Role::sensor && !leads_a_group_of_its_own(identity.pid)) return std::nullopt;
    if (process->ended()) return std::nullopt;
    return PinnedProcess{identity.pid, *uid, std::move(*process)};
}

std::string user_name(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) return found->pw_name;
    return "user " + std::to_string(uid);
}

}  // namespace brevalt
