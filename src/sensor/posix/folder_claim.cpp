#include "sensor/posix/folder_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace brevalt {
namespace {

// Brevalt keeps its lock well above the descriptors a sensor is given, so
// that handing it on as descriptor 3 is a real duplication, which clears
// close-on-exec.
constexpr int k_lowest_own_fd = 10;

int moved_high(int fd) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, k_lowest_own_fd);
    if (high < 0) return fd;
    ::close(fd);
    return high;
}

int open_folder(const std::string& folder) { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

int lock_error(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno; }

std::string failed_call(const char* call, int error) { return std::string(call) + " failed: " + std::strerror(error); }

// Where the folder itself refuses locks (a network file system may), the
// claim is a file inside it: the folder is the operators' alone, so no
// other user can take that lock and keep every operator's sensor off.
constexpr const char* k_lock_file_name = ".brevalt-lock";

// Every operator must be able to open it, whatever the mask of the one who
// made it; a network file system grants an exclusive lock only on a file
// open for writing, a local one on any.
int open_lock_file(int folder_fd) {
    int fd = ::openat(folder_fd, k_lock_file_name, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0660);
    if (fd >= 0) {
        (void)::fchmod(fd, 0660);  // refused unless it is ours: then it was made so already
        return fd;
    }
    if (errno == EACCES) fd = ::openat(folder_fd, k_lock_file_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    return fd;
}

// Two Brevalts started at the same instant (a double-click): the one that
// lost the lock gives the winner this long to write down who it is.
constexpr int k_record_wait_steps = 30;
constexpr long k_record_wait_step_ns = 50'000'000;

// A lock taken afresh may meet another Brevalt that holds it for the moment
// it takes to read the record and let go.
constexpr int k_relock_steps = 20;
constexpr long k_relock_step_ns = 50'000'000;

void pause_for(long nanoseconds) {
    timespec pause{0, nanoseconds};
    ::nanosleep(&pause, nullptr);
}

ClaimHolder holder(ClaimHolder::Kind kind, const PinnedProcess& process) {
    return {kind, user_name(process.uid), process.pid};
}

// File systems whose locks the server does not share among its clients as
// the local kernel does among processes: a lock taken on one machine is not
// seen on another.
bool on_network_file_system(int fd) {
    constexpr long k_nfs = 0x6969;
    constexpr long k_smb = 0x517B;
    constexpr long k_cifs = 0xFF534D42;
    constexpr long k_smb2 = 0xFE534D42;
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    const long type = static_cast<long>(fs.f_type);
    return type == k_nfs || type == k_smb || type == k_cifs || type == k_smb2;
}

}  // namespace

LogFolderClaim::Attempt LogFolderClaim::claim(const std::string& folder) {
    release();
    folder_fd_ = open_folder(folder);
    if (folder_fd_ < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return {FolderClaim::of(FolderClaim::Outcome::missing), {}};
        return {FolderClaim::failed_because(failed_call("open", error)), {}};
    }
    folder_fd_ = moved_high(folder_fd_);
    first_attempt_ = !attempted_;
    attempted_ = true;
    FolderClaim claim = FolderClaim::of(FolderClaim::Outcome::claimed);
    claim.network_file_system = on_network_file_system(folder_fd_);
    lock_fd_ = open_folder(folder);
    int error = lock_fd_ < 0 ? errno : lock_error(lock_fd_);
    if (error != 0 && error != EWOULDBLOCK) {
        claim.note = "The log folder \"" + folder + "\" cannot be locked (" + failed_call("flock", error) +
                     "): Brevalt locks the file \"" + k_lock_file_name + "\" in it instead";
        if (lock_fd_ >= 0) ::close(lock_fd_);
        lock_fd_ = open_lock_file(folder_fd_);
        lock_file_ = true;
        error = lock_fd_ < 0 ? errno : lock_error(lock_fd_);
        if (error != 0 && error != EWOULDBLOCK) {
            return {refuse(FolderClaim::failed_because("neither the folder nor a file in it can be locked (" +
                                                        failed_call(lock_fd_ < 0 ? "open" : "flock", error) + ")")),
                    {}};
        }
    }
    lock_fd_ = moved_high(lock_fd_);
    locked_ = error == 0;
    return settle(std::move(claim), locked_);
}

// The record decides who holds the folder. A live Brevalt in it serves the
// folder whatever its lock says: one that stops a sensor it took over has
// no lock until that sensor is gone. A live sensor in it holds the folder
// where the lock is held (its own user takes it over, another waits); with
// the lock free it is believed by its own user only, since a sensor always
// holds the claim and anyone can name a process of their own. Where the
// lock is held and nothing believable is named, the holder is waited for,
// never refused: only a live Brevalt of this user is a reason to refuse.
LogFolderClaim::Attempt LogFolderClaim::settle(FolderClaim claim, bool free) {
    const uid_t self = ::getuid();
    for (int step = 0;; ++step) {
        const std::optional<ReadRecord> read = read_record(folder_fd_);
        const SensorRecord found = read ? read->record : SensorRecord{};
        const uid_t writer = read ? read->writer : 0;
        std::optional<PinnedProcess> brevalt;
        // This process's own record is an earlier claim it has let go.
        if (found.brevalt && found.brevalt->pid != ::getpid()) brevalt = pin(*found.brevalt, writer, Role::brevalt);
        std::optional<PinnedProcess> sensor = found.sensor ? pin(*found.sensor, writer, Role::sensor) : std::nullopt;
        if (brevalt) {
            const auto outcome = brevalt->uid == self ? FolderClaim::Outcome::held_elsewhere
                                                      : FolderClaim::Outcome::served_by_other_user;
            return {refuse(FolderClaim::held_by(outcome, holder(ClaimHolder::Kind::brevalt, *brevalt))), {}};
        }
        const bool own_sensor = sensor && sensor->uid == self && sensor->process.signal(0);
        if (sensor && !own_sensor && !free) {
            return {refuse(FolderClaim::held_by(FolderClaim::Outcome::left_by_other_user,
                                                holder(ClaimHolder::Kind::sensor, *sensor))),
                    {}};
        }
        if (own_sensor) {
            const pid_t pid = sensor->pid;
            record(pid);
            FolderClaim taken = FolderClaim::taken_over_from(pid);
            taken.note = std::move(claim.note);
            taken.network_file_system = claim.network_file_system;
            return {std::move(taken), std::move(sensor)};
        }
        if (free) {
            record(std::nullopt);
            return {std::move(claim), {}};
        }
        // Only the start waits: a Brevalt that waits for another operator
        // checks again at every tick, and the window must not stall.
        if (step == k_record_wait_steps || !first_attempt_) {
            FolderClaim unknown = FolderClaim::of(FolderClaim::Outcome::held_by_unknown);
            unknown.network_file_system = claim.network_file_system;
            return {refuse(std::move(unknown)), {}};
        }
        pause_for(k_record_wait_step_ns);
        free = lock_error(lock_fd_) == 0;
        locked_ = free;
    }
}

FolderClaim LogFolderClaim::refuse(FolderClaim claim) {
    release();
    return claim;
}

bool LogFolderClaim::hold() {
    if (!locked_ && lock_fd_ >= 0) locked_ = lock_error(lock_fd_) == 0;
    return locked_;
}

bool LogFolderClaim::hold_alone() {
    if (folder_fd_ < 0 || lock_fd_ < 0) return false;
    if (handed_out_) {
        const int fresh =
            lock_file_ ? open_lock_file(folder_fd_) : ::openat(folder_fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fresh < 0) return false;
        ::close(lock_fd_);
        lock_fd_ = moved_high(fresh);
        locked_ = handed_out_ = false;
    }
    for (int step = 0; !hold() && step < k_relock_steps; ++step) pause_for(k_relock_step_ns);
    return locked_;
}

void LogFolderClaim::record(std::optional<pid_t> sensor) {
    if (folder_fd_ < 0) return;
    SensorRecord record{identity_of(::getpid()), sensor ? identity_of(*sensor) : std::nullopt};
    std::optional<std::string> failure = write_record(folder_fd_, record);
    if (failure && !record_unwritten_) record_failure_ = std::move(failure);
    record_unwritten_ = failure.has_value();
}

void LogFolderClaim::let_go() {
    if (folder_fd_ >= 0) {
        const std::optional<ReadRecord> read = read_record(folder_fd_);
        if (read && read->record.brevalt && read->record.brevalt->pid == ::getpid()) (void)write_record(folder_fd_, {});
    }
    release();
}

void LogFolderClaim::release() {
    if (lock_fd_ >= 0) ::close(lock_fd_);
    if (folder_fd_ >= 0) ::close(folder_fd_);
    lock_fd_ = folder_fd_ = -1;
    locked_ = lock_file_ = handed_out_ = false;
}

}  // namespace brevalt
