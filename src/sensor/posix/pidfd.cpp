#include "sensor/posix/pidfd.h"

#include <dirent.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace brevalt {
namespace {

// From the kernel's pidfd interface (Linux 6.9); older kernels refuse it.
constexpr unsigned k_signal_process_group = 1U << 2;

// An ended member whose parent ended first waits for the system's reaper,
// which may take its time; it holds nothing any more (its files and
// devices were let go when it ended), so it counts as gone. The group's id
// cannot name another group meanwhile: this descriptor keeps it.
bool group_has_live_member(pid_t group) {
    DIR* all = ::opendir("/proc");
    if (all == nullptr) return false;
    bool live = false;
    while (const dirent* entry = ::readdir(all)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        const auto pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        const std::optional<std::string> stat = stat_after_name(pid);
        if (!stat) continue;
        std::istringstream fields(*stat);
        char state = 0;
        pid_t parent = 0;
        pid_t member_group = 0;
        if (fields >> state >> parent >> member_group && member_group == group && state != 'Z') {
            live = true;
            break;
        }
    }
    ::closedir(all);
    return live;
}

}  // namespace

std::optional<PidFd> PidFd::open(pid_t pid) {
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd < 0) return std::nullopt;
    return PidFd(static_cast<int>(fd), pid);
}

PidFd::PidFd(PidFd&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), group_id_(std::exchange(other.group_id_, std::nullopt)) {}

PidFd& PidFd::operator=(PidFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        group_id_ = std::exchange(other.group_id_, std::nullopt);
    }
    return *this;
}

PidFd::~PidFd() {
    if (fd_ >= 0) ::close(fd_);
}

bool PidFd::ended_within(int milliseconds) const {
    pollfd readable{fd_, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&readable, 1, milliseconds);
        if (r >= 0) return r > 0;
        if (errno != EINTR) return false;
    }
}

bool PidFd::signal(int signal_number) const {
    return ::syscall(SYS_pidfd_send_signal, fd_, signal_number, nullptr, 0) == 0;
}

bool PidFd::signal_group(int signal_number) const {
    // Brevalt's own group (a record naming the shell it was started from)
    // is never signalled: it would end Brevalt with it.
    if (!group_id_ || *group_id_ == ::getpgrp()) return false;
    if (::syscall(SYS_pidfd_send_signal, fd_, signal_number, nullptr, k_signal_process_group) == 0) return true;
    if (errno != EINVAL) return false;
    // An older kernel: the group's id is the leader's, which the kernel
    // gives to no other process while the leader or any member of its
    // group is alive.
    if (ended() && !group_has_live_member(*group_id_)) return false;
    return ::kill(-*group_id_, signal_number) == 0;
}

bool PidFd::group_gone() const {
    if (!ended()) return false;
    if (::syscall(SYS_pidfd_send_signal, fd_, 0, nullptr, k_signal_process_group) != 0) {
        // An older kernel cannot say: the members are looked for instead.
        if (errno != EINVAL) return errno == ESRCH;
    }
    const std::optional<pid_t> leader = group_id_;
    return !leader || !group_has_live_member(*leader);
}

std::optional<std::string> stat_after_name(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (pid <= 0 || !std::getline(in, stat)) return std::nullopt;
    // The command name in parentheses may hold blanks and parentheses itself.
    const std::size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos) return std::nullopt;
    return stat.substr(name_end + 1);
}

}  // namespace brevalt
