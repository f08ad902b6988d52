#include "sensor/posix/sensor_record.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace brevalt {
namespace {

std::string proc(pid_t pid, const char* entry) { return "/proc/" + std::to_string(pid) + "/" + entry; }

const std::string& boot_id() {
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string line;
        std::getline(in, line);
        return line;
    }();
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

// "brevalt 1234 567890 <boot id>"
void put(std::ostream& out, const char* role, const std::optional<ProcessIdentity>& process) {
    if (process) out << role << ' ' << process->pid << ' ' << process->start_ticks << ' ' << process->boot_id << '\n';
}

// The most a record can hold; anything longer is no record of ours.
constexpr off_t k_record_limit = 512;

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

bool write_record(int folder_fd, const SensorRecord& record) {
    std::ostringstream text;
    put(text, "brevalt", record.brevalt);
    put(text, "sensor", record.sensor);
    const std::string bytes = text.str();
    const std::string temporary = std::string(k_record_name) + "." + std::to_string(::getpid());
    const int fd = ::openat(folder_fd, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0) return false;
    bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    written = ::fchmod(fd, 0640) == 0 && written;
    ::close(fd);
    if (written && ::renameat(folder_fd, temporary.c_str(), folder_fd, k_record_name) == 0) return true;
    ::unlinkat(folder_fd, temporary.c_str(), 0);
    return false;
}

std::optional<ReadRecord> read_record(int folder_fd) {
    const int fd = ::openat(folder_fd, k_record_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    char buffer[k_record_limit];
    ssize_t size = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < k_record_limit) {
        size = ::read(fd, buffer, sizeof buffer);
    }
    ::close(fd);
    if (size < 0) return std::nullopt;
    ReadRecord read{{}, st.st_uid};
    std::istringstream lines(std::string(buffer, static_cast<std::size_t>(size)));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string role;
        ProcessIdentity identity;
        if (!(fields >> role >> identity.pid >> identity.start_ticks >> identity.boot_id)) continue;
        if (role == "brevalt") read.record.brevalt = identity;
        if (role == "sensor") read.record.sensor = identity;
    }
    return read;
}

std::optional<PinnedProcess> pin(const ProcessIdentity& identity, uid_t owner) {
    if (identity.pid <= 0 || identity.boot_id != boot_id()) return std::nullopt;
    std::optional<PidFd> process = PidFd::open(identity.pid);
    // Compared once the descriptor is held: the id then certainly names the
    // process that started at that moment, and no later one.
    if (!process || identity_of(identity.pid) != identity) return std::nullopt;
    const std::optional<uid_t> uid = real_uid(identity.pid);
    // Read from that process only if it is still there after the reading.
    if (!uid || *uid != owner || process->ended()) return std::nullopt;
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
