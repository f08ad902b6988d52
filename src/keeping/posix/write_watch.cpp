#include "keeping/posix/write_watch.h"

#include <fcntl.h>

#include <cerrno>
#include <csignal>

namespace brevalt {

WriteWatch::WriteWatch(int fd) : fd_(fd), taken_(Taken::unavailable) {
    // The kernel tells a lease holder of a break with SIGIO unless told
    // otherwise, and SIGIO ends a process that does not handle it. This
    // watch asks instead of listening, so the news goes to a signal that is
    // ignored unless handled, and that nothing here handles.
    if (::fcntl(fd_, F_SETSIG, SIGURG) != 0) return;
    if (::fcntl(fd_, F_SETLEASE, F_RDLCK) == 0) {
        taken_ = Taken::watching;
    } else if (errno == EAGAIN || errno == EBUSY) {
        taken_ = Taken::written;
    }
}

WriteWatch::~WriteWatch() { let_go(); }

bool WriteWatch::writer_came() {
    if (taken_ != Taken::watching) return false;
    // While a break is pending the kernel reports the lease it is to be cut
    // down to, which for a read lease is none.
    if (::fcntl(fd_, F_GETLEASE) == F_RDLCK) return false;
    let_go();
    taken_ = Taken::written;
    return true;
}

void WriteWatch::let_go() {
    if (taken_ == Taken::watching) ::fcntl(fd_, F_SETLEASE, F_UNLCK);
}

}  // namespace brevalt
