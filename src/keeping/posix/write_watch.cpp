#include "keeping/posix/write_watch.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace brevalt {
namespace {

// Older kernel headers lack some of these.
constexpr unsigned long k_cifs_magic = 0xFF534D42;
constexpr unsigned long k_smb2_magic = 0xFE534D42;
constexpr unsigned long k_fuse_magic = 0x65735546;
constexpr unsigned long k_overlay_magic = 0x794C7630;
constexpr unsigned long k_ceph_magic = 0x00C36400;
constexpr unsigned long k_9p_magic = 0x01021997;

// A file system on which a lease means nothing for the writers that
// matter: one whose files other machines or another path may open without
// this kernel's knowing, or that refuses leases outright. Empty: a local one.
std::string blind_file_system(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return {};
    switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
        return "NFS";
    case SMB_SUPER_MAGIC:
    case k_cifs_magic:
    case k_smb2_magic:
        return "SMB/CIFS";
    case k_fuse_magic:
        return "FUSE";
    case k_overlay_magic:
        return "overlay";
    case k_ceph_magic:
        return "Ceph";
    case k_9p_magic:
        return "9p";
    default:
        return {};
    }
}

std::string type_number(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return "unknown";
    char text[32];
    std::snprintf(text, sizeof text, "type 0x%lx", static_cast<unsigned long>(fs.f_type));
    return text;
}

}  // namespace

WriteWatch::WriteWatch(int fd) : fd_(fd), taken_(Taken::unavailable) {
    file_system_ = blind_file_system(fd_);
    if (!file_system_.empty()) {
        blind_ = LogFolder::Blind::file_system;
        return;
    }
    // The kernel tells a lease holder of a break with SIGIO unless told
    // otherwise, and SIGIO ends a process that does not handle it. This
    // watch asks instead of listening, so the news goes to a signal that is
    // ignored unless handled, and that nothing here handles.
    if (::fcntl(fd_, F_SETSIG, SIGURG) == 0 && ::fcntl(fd_, F_SETLEASE, F_RDLCK) == 0) {
        taken_ = Taken::watching;
        return;
    }
    if (errno == EAGAIN || errno == EBUSY) {
        taken_ = Taken::written;
    } else if (errno == EACCES || errno == EPERM) {
        blind_ = LogFolder::Blind::not_owner;
    } else {
        blind_ = LogFolder::Blind::file_system;
        file_system_ = type_number(fd_);
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
