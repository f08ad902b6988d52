#pragma once

#include <sys/types.h>

#include <optional>

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
    // A copy of the process's descriptor `target_fd`, close-on-exec, or -1
    // (refused, or the descriptor is gone). Needs the right to trace it.
    [[nodiscard]] int copy_descriptor(int target_fd) const;
    // Polls readable once the process has ended, for an event loop to wait on.
    [[nodiscard]] int descriptor() const { return fd_; }

private:
    explicit PidFd(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace brevalt
