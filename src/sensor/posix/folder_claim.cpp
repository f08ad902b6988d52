#include "sensor/posix/folder_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

ClaimHolder holder(ClaimHolder::Kind kind, const PinnedProcess& process) {
    return {kind, user_name(process.uid), process.pid};
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
    lock_fd_ = open_folder(folder);
    int error = lock_fd_ < 0 ? errno : lock_error(lock_fd_);
    if (error != 0 && error != EWOULDBLOCK) {
        claim.note = "The log folder \"" + folder + "\" cannot be locked (" + failed_call("flock", error) +
                     "): Brevalt locks the file \"" + k_lock_file_name + "\" in it instead";
        if (lock_fd_ >= 0) ::close(lock_fd_);
        lock_fd_ = open_lock_file(folder_fd_);
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

// The record decides who holds a locked folder: a live Brevalt serves it; a
// live sensor that its Brevalt left is taken over by the same user and
// waited for by another. Neither live, nothing is named: a refusal names
// only what is shown to hold this folder.
LogFolderClaim::Attempt LogFolderClaim::settle(FolderClaim claim, bool free) {
    const uid_t self = ::geteuid();
    for (int step = 0;; ++step) {
        const std::optional<ReadRecord> read = read_record(folder_fd_);
        const SensorRecord found = read ? read->record : SensorRecord{};
        const uid_t writer = read ? read->writer : 0;
        std::optional<PinnedProcess> brevalt;
        // This process's own record is an earlier claim it has let go.
        if (found.brevalt && found.brevalt->pid != ::getpid()) brevalt = pin(*found.brevalt, writer);
        std::optional<PinnedProcess> sensor = found.sensor ? pin(*found.sensor, writer) : std::nullopt;
        // A Brevalt that took a sensor over holds no lock while the sensor
        // does; one whose sensor let go of the lock still serves.
        if (brevalt && (!free || sensor)) {
            const auto outcome = brevalt->uid == self ? FolderClaim::Outcome::held_elsewhere
                                                      : FolderClaim::Outcome::served_by_other_user;
            return {refuse(FolderClaim::held_by(outcome, holder(ClaimHolder::Kind::brevalt, *brevalt))), {}};
        }
        if (sensor) {
            if (sensor->uid != self || !sensor->process.signal(0)) {
                return {refuse(FolderClaim::held_by(FolderClaim::Outcome::left_by_other_user,
                                                    holder(ClaimHolder::Kind::sensor, *sensor))),
                        {}};
            }
            const pid_t pid = sensor->pid;
            record(pid);
            FolderClaim taken = FolderClaim::taken_over_from(pid);
            taken.note = std::move(claim.note);
            return {std::move(taken), std::move(sensor)};
        }
        if (free) {
            record(std::nullopt);
            return {std::move(claim), {}};
        }
        // Only the start waits: a Brevalt that waits for another operator
        // checks again at every tick, and the window must not stall.
        if (step == k_record_wait_steps || !first_attempt_) {
            return {refuse(FolderClaim::of(FolderClaim::Outcome::held_elsewhere)), {}};
        }
        timespec pause{0, k_record_wait_step_ns};
        ::nanosleep(&pause, nullptr);
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

void LogFolderClaim::record(std::optional<pid_t> sensor) {
    if (folder_fd_ < 0) return;
    SensorRecord record{identity_of(::getpid()), sensor ? identity_of(*sensor) : std::nullopt};
    (void)write_record(folder_fd_, record);
}

void LogFolderClaim::release() {
    if (lock_fd_ >= 0) ::close(lock_fd_);
    if (folder_fd_ >= 0) ::close(folder_fd_);
    lock_fd_ = folder_fd_ = -1;
    locked_ = false;
}

}  // namespace brevalt
