#include "sensor/posix/pidfd.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace brevalt {

std::optional<PidFd> PidFd::open(pid_t pid) {
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd < 0) return std::nullopt;
    return PidFd(static_cast<int>(fd));
}

PidFd::PidFd(PidFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

PidFd& PidFd::operator=(PidFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
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

int PidFd::copy_descriptor(int target_fd) const {
    return static_cast<int>(::syscall(SYS_pidfd_getfd, fd_, target_fd, 0));
}

}  // namespace brevalt
