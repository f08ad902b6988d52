#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace brevalt {

// A process known by a descriptor rather than by its id: the descriptor
// goes on naming that one process after it has ended and its id has been
// given to another, so a signal sent through it can never hit a stranger.
// Move-only, closed once.
class PidFd {
public:
    // The process that has `pid` now; nothing when there is none, or when
    // the kernel has no process descriptors.
    static std::optional<PidFd> open(pid_t pid);

    PidFd(PidFd&& other) noexcept;
    PidFd& operator=(PidFd&& other) noexcept;
    PidFd(const PidFd&) = delete;
    PidFd& operator=(const PidFd&) = delete;
    ~PidFd();

    [[nodiscard]] bool ended() const { return ended_within(0); }
    // Waits up to `milliseconds` for the process to end; true once it has.
    [[nodiscard]] bool ended_within(int milliseconds) const;
    // False when the signal was refused (another user's process) or the
    // process has ended.
    bool signal(int signal_number) const;
    // Signals every process of the group this process leads (a sensor runs
    // as the leader of a session and group of its own), even after the
    // leader itself has ended: what a wrapper started goes with it. The
    // descriptor keeps the group's id from being given to another group.
    // False when no process of the group is left, or the signal was refused.
    bool signal_group(int signal_number) const;
    // True once no process of the group this one led is left.
    [[nodiscard]] bool group_gone() const;
    // Polls readable once the process has ended, for an event loop to wait on.
    [[nodiscard]] int descriptor() const { return fd_; }

private:
    PidFd(int fd, pid_t pid) : fd_(fd), group_id_(pid) {}
    int fd_ = -1;
    // The process's id, which is also its group's where it leads one.
    std::optional<pid_t> group_id_;
};

// The fields of /proc/PID/stat after the command name, the state letter
// first. Every user may read them, even of a process that hides the rest
// of its /proc entries. Nothing where there is no such process.
std::optional<std::string> stat_after_name(pid_t pid);

}  // namespace brevalt
