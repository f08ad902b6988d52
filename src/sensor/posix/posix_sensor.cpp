#include "sensor/posix/posix_sensor.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <utility>

extern char** environ;

namespace brevalt {
namespace {

std::string join_path(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + '/' + name;
}

bool is_runnable_file(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

// True once the child is gone for good: collected now, or no longer ours to
// collect (ECHILD), in which case its id may already belong to someone else.
// `status` is left alone in the second case.
bool collected(pid_t pid, int* status = nullptr) {
    for (;;) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid) return true;
        if (r == 0) return false;
        if (errno != EINTR) return true;
    }
}

// A killed process is normally gone within milliseconds, but one stuck in
// the kernel (a hung network file system, a wedged capture driver) may take
// any time. The window waits for this, so the wait is bounded; a child not
// collected by then is left for a later reap.
constexpr int k_kill_wait_steps = 100;
constexpr long k_kill_wait_step_ns = 10'000'000;  // 10 ms, 1 s in all
constexpr int k_kill_wait_ms = 1000;

bool collected_within_bound(pid_t pid) {
    for (int step = 0; step < k_kill_wait_steps; ++step) {
        if (collected(pid)) return true;
        timespec pause{0, k_kill_wait_step_ns};
        ::nanosleep(&pause, nullptr);
    }
    return collected(pid);
}

void drop_collected(std::vector<pid_t>& pids) {
    std::erase_if(pids, [](pid_t pid) { return collected(pid); });
}

// Where a sensor finds the folder's claim: the first descriptor after
// standard error. Brevalt keeps its own copy well above it, so that the
// spawn's duplication is a real one, which clears close-on-exec.
constexpr int k_sensor_claim_fd = 3;
constexpr int k_lowest_own_claim_fd = 10;

int moved_high(int fd) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, k_lowest_own_claim_fd);
    if (high < 0) return fd;
    ::close(fd);
    return high;
}

std::string failed_call(const char* call, int error) { return std::string(call) + " failed: " + std::strerror(error); }

// Owns the spawn attributes and file actions so that every return path
// destroys them.
class SpawnSetup {
public:
    SpawnSetup() {
        init_error_ = ::posix_spawnattr_init(&attr_);
        if (init_error_ != 0) return;
        attr_ready_ = true;
        init_error_ = ::posix_spawn_file_actions_init(&actions_);
        if (init_error_ != 0) return;
        actions_ready_ = true;
    }
    ~SpawnSetup() {
        if (actions_ready_) ::posix_spawn_file_actions_destroy(&actions_);
        if (attr_ready_) ::posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The sensor runs for months beside a desktop session: it gets its own
    // session so a signal to Brevalt's process group or the loss of its
    // terminal does not reach it; it starts with no signal blocked and none
    // ignored, whatever Brevalt (or Qt) has set for itself; and it holds no
    // descriptor of Brevalt's except standard output and error, so a log or
    // socket Brevalt opens is never kept alive by the sensor.
    int configure(int claim_fd, int output_fd) {
        if (init_error_ != 0) return init_error_;
        sigset_t none;
        ::sigemptyset(&none);
        // Every bit set by hand: sigfillset leaves out the C library's two
        // internal real-time signals, and the spawn then hands them to the
        // sensor ignored.
        sigset_t all;
        std::memset(&all, 0xff, sizeof all);
        const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (const int e = ::posix_spawnattr_setflags(&attr_, flags); e != 0) return e;
        if (const int e = ::posix_spawnattr_setsigmask(&attr_, &none); e != 0) return e;
        if (const int e = ::posix_spawnattr_setsigdefault(&attr_, &all); e != 0) return e;
        if (const int e = ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0); e != 0) {
            return e;
        }
        for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            if (output_fd < 0) break;
            if (const int e = ::posix_spawn_file_actions_adddup2(&actions_, output_fd, fd); e != 0) return e;
        }
        // The folder's claim is the one descriptor of Brevalt's it gets: it
        // keeps the folder claimed while the sensor outlives Brevalt.
        if (claim_fd < 0) return ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
        if (const int e = ::posix_spawn_file_actions_adddup2(&actions_, claim_fd, k_sensor_claim_fd); e != 0) return e;
        return ::posix_spawn_file_actions_addclosefrom_np(&actions_, k_sensor_claim_fd + 1);
    }

    [[nodiscard]] const posix_spawnattr_t* attr() const { return &attr_; }
    [[nodiscard]] const posix_spawn_file_actions_t* actions() const { return &actions_; }

private:
    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t actions_{};
    bool attr_ready_ = false;
    bool actions_ready_ = false;
    int init_error_ = 0;
};

}  // namespace

PosixSensor::PosixSensor(std::string program_dir, std::string executable_name)
    : program_dir_(std::move(program_dir)), executable_name_(std::move(executable_name)) {}

PosixSensor::~PosixSensor() {
    if (claim_fd_ >= 0) ::close(claim_fd_);
}

FolderClaim PosixSensor::claim_folder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return FolderClaim::of(FolderClaim::Outcome::missing);
        return FolderClaim::of(FolderClaim::Outcome::failed, failed_call("open", error));
    }
    claim_fd_ = moved_high(fd);
    FolderClaim claim = FolderClaim::of(FolderClaim::Outcome::claimed);
    int error = ::flock(claim_fd_, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (error != 0 && error != EWOULDBLOCK) {
        // A network file system may refuse locks on folders altogether. The
        // sensor must run all the same: the program folder, on a local disk
        // as a rule, carries the claim instead.
        claim.note = "The log folder \"" + folder + "\" cannot be locked (" + failed_call("flock", error) + ")";
        fd = program_dir_.empty() ? -1 : ::open(program_dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int program_error = fd < 0 ? errno : ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
        if (fd >= 0 && (program_error == 0 || program_error == EWOULDBLOCK)) {
            ::close(claim_fd_);
            claim_fd_ = moved_high(fd);
            error = program_error;
            claim.note += ": Brevalt claims its program folder \"" + program_dir_ + "\" instead";
        } else {
            if (fd >= 0) ::close(fd);
            error = 0;
            claim.note += ", nor can the program folder: only the search of running processes keeps a second "
                          "Brevalt or sensor off the folder";
        }
    }
    const std::optional<FileId> claimed = file_id(claim_fd_);
    if (!claimed) return FolderClaim::of(FolderClaim::Outcome::failed, failed_call("fstat", errno));
    return settle_claim(std::move(claim), *claimed, error == EWOULDBLOCK);
}

// Whoever else has the claimed folder open decides: another Brevalt keeps
// it, a sensor left running is taken over, and a lock held by something we
// cannot see into is never overridden.
FolderClaim PosixSensor::settle_claim(FolderClaim claim, const FileId& folder, bool held) {
    const std::optional<FileId> own_program = file_id("/proc/self/exe");
    const std::optional<std::string> sensor_path = find_executable();
    const std::optional<FileId> sensor_program = sensor_path ? file_id(*sensor_path) : std::nullopt;
    const FolderHolder* sensor = nullptr;
    const FolderHolder* locker = nullptr;
    const std::vector<FolderHolder> holders = folder_holders(folder);
    for (const FolderHolder& holder : holders) {
        if (!holder.program) continue;
        if (holder.program == own_program) {
            return FolderClaim::of(FolderClaim::Outcome::held_elsewhere, process_owner(holder.pid));
        }
        // The sensor this Brevalt would start, or whatever holds the claim
        // where Brevalt hands it down: a wrapper script that execs the real
        // sensor leaves that sensor's executable in its place.
        const bool runs_sensor = sensor_program && *holder.program == *sensor_program;
        if (runs_sensor || (holder.fd == k_sensor_claim_fd && holder.locks)) {
            if (sensor == nullptr || runs_sensor) sensor = &holder;
        } else if (holder.locks && locker == nullptr) {
            locker = &holder;
        }
    }
    if (sensor != nullptr) {
        FolderClaim taken = take_over(*sensor, folder);
        taken.note = claim.note;
        if (taken.outcome != FolderClaim::Outcome::claimed) return taken;
        held = ::flock(claim_fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;  // it ended meanwhile
    }
    if (!held) return claim;
    if (locker != nullptr) return FolderClaim::of(FolderClaim::Outcome::held_elsewhere, process_owner(locker->pid));
    if (std::string taker = lock_taker(folder); !taker.empty()) {
        return FolderClaim::of(FolderClaim::Outcome::held_elsewhere, std::move(taker));
    }
    // The Brevalt that took the lock is gone and what holds it now is hidden
    // from us: a sensor another user's Brevalt left running.
    const std::vector<pid_t> strangers = others_processes_named(executable_name_);
    if (!strangers.empty()) {
        return FolderClaim::of(FolderClaim::Outcome::left_by_other_user, process_owner(strangers.front()));
    }
    return FolderClaim::of(FolderClaim::Outcome::held_elsewhere);
}

FolderClaim PosixSensor::take_over(const FolderHolder& sensor, const FileId& folder) {
    std::optional<PidFd> process = PidFd::open(sensor.pid);
    // Checked again through the descriptor: the id now certainly names the
    // process found, which never has a stranger's id however long it runs.
    if (!process || !still_holds(sensor.pid, sensor.fd, folder, *sensor.program)) {
        return FolderClaim::of(FolderClaim::Outcome::claimed);
    }
    if (!process->signal(0)) {
        return FolderClaim::of(FolderClaim::Outcome::left_by_other_user, process_owner(sensor.pid));
    }
    // Sharing the sensor's own claim keeps the folder claimed once it is
    // stopped; where the system refuses (tracing restricted), Brevalt's open
    // folder still tells any later Brevalt that it serves the folder.
    if (const int copy = process->copy_descriptor(sensor.fd); copy >= 0) {
        ::close(claim_fd_);
        claim_fd_ = moved_high(copy);
    }
    taken_over_ = TakenOver{sensor.pid, std::move(*process)};
    return FolderClaim::of(FolderClaim::Outcome::taken_over, {}, sensor.pid);
}

std::optional<long> PosixSensor::running_pid() const {
    if (current_) return *current_;
    if (taken_over_) return taken_over_->pid;
    return std::nullopt;
}

std::size_t PosixSensor::tracked_children() const {
    return (current_ ? 1U : 0U) + stopped_.size() + to_collect_.size();
}

// The program's own folder first, then the absolute folders of PATH. The
// current directory is never searched, not even through an empty or "."
// entry: whoever can write a file there could otherwise have it run.
std::optional<std::string> PosixSensor::find_executable() const {
    if (!program_dir_.empty()) {
        std::string candidate = join_path(program_dir_, executable_name_);
        if (is_runnable_file(candidate)) return candidate;
    }
    const char* path_env = std::getenv("PATH");
    if (path_env == nullptr) return std::nullopt;
    std::string_view rest(path_env);
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (!entry.empty() && entry.front() == '/') {
            std::string candidate = join_path(std::string(entry), executable_name_);
            if (is_runnable_file(candidate)) return candidate;
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

SysResult PosixSensor::start() {
    // A remembered sensor that ended by itself is replaced now, so there is
    // nothing left to report about it.
    (void)reap();

    const std::optional<std::string> path = find_executable();
    if (!path) return SysResult::failure(k_sensor_not_found_call, ENOENT);

    // Brevalt may have taken over a sensor without a share in its lock, which
    // went with it: the new sensor gets the lock again.
    if (claim_fd_ >= 0) ::flock(claim_fd_, LOCK_EX | LOCK_NB);
    // The sensor's own words go to a file that outlives Brevalt, each start
    // beginning it afresh; a link planted under its name is not followed.
    // Opened here rather than by the spawn, so that a file that cannot be
    // opened leaves the sensor with Brevalt's own output instead of unstarted.
    const int output_fd = output_path_.empty() ? -1
        : ::open(output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0660);
    SpawnSetup setup;
    const int setup_error = setup.configure(claim_fd_, output_fd);
    if (setup_error != 0) {
        if (output_fd >= 0) ::close(output_fd);
        return SysResult::failure("posix_spawn", setup_error);
    }

    // The sensor is started by its bare name with no arguments, in Brevalt's
    // own current directory and environment.
    std::string arg0 = executable_name_;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    const int spawn_error = ::posix_spawn(&pid, path->c_str(), setup.actions(), setup.attr(), argv, environ);
    if (output_fd >= 0) ::close(output_fd);
    if (spawn_error != 0) return SysResult::failure("posix_spawn", spawn_error);

    output_opened_ = output_fd >= 0 ? output_path_ : std::string();
    // An earlier sensor keeps running; it is only remembered for reaping.
    if (current_) to_collect_.push_back(*current_);
    taken_over_.reset();
    current_ = pid;
    // Opened while the child is unreaped, so it names this child.
    current_process_ = PidFd::open(pid);
    return SysResult::success();
}

void PosixSensor::stop() {
    if (taken_over_) {
        TakenOver sensor = std::move(*taken_over_);
        taken_over_.reset();
        if (sensor.process.signal(SIGTERM)) stopped_taken_over_.push_back(std::move(sensor.process));
    }
    if (!current_) return;
    current_process_.reset();
    const pid_t pid = *std::exchange(current_, std::nullopt);
    if (collected(pid)) return;  // it ended by itself: there is nothing to ask
    // SIGTERM lets the sensor close its logs and exit 0. No wait here: the
    // rotation's fixed pause is what gives it time.
    ::kill(pid, SIGTERM);
    stopped_.push_back(pid);
}

void PosixSensor::ensure_stopped_gone() {
    for (const pid_t pid : stopped_) {
        if (collected(pid)) continue;
        // Still alive after its grace time: it would go on writing into a
        // log that is about to be renamed.
        ::kill(pid, SIGKILL);
        // Not yet gone: it is never signalled again, only collected later.
        if (!collected_within_bound(pid)) to_collect_.push_back(pid);
    }
    stopped_.clear();
    for (const PidFd& process : stopped_taken_over_) {
        if (!process.ended() && process.signal(SIGKILL)) (void)process.ended_within(k_kill_wait_ms);
    }
    stopped_taken_over_.clear();
}

bool PosixSensor::stopped_gone() {
    drop_collected(stopped_);
    std::erase_if(stopped_taken_over_, [](const PidFd& process) { return process.ended(); });
    return stopped_.empty() && stopped_taken_over_.empty();
}

std::optional<std::intptr_t> PosixSensor::end_handle() const {
    if (current_ && current_process_) return current_process_->descriptor();
    if (taken_over_) return taken_over_->process.descriptor();
    return std::nullopt;
}

std::optional<SensorEnd> PosixSensor::reap() {
    drop_collected(stopped_);
    drop_collected(to_collect_);
    // No wait status is ever -1: it marks one that waitpid did not fill in
    // because someone else collected the child.
    constexpr int k_no_status = -1;
    int status = k_no_status;
    if (taken_over_ && taken_over_->process.ended()) {
        // No child of ours: how it ended is its parent's to know.
        taken_over_.reset();
        return SensorEnd{};
    }
    if (!current_ || !collected(*current_, &status)) return std::nullopt;
    current_.reset();
    current_process_.reset();
    if (status == k_no_status) return SensorEnd{};
    if (WIFSIGNALED(status)) return SensorEnd{SensorEnd::How::signalled, WTERMSIG(status)};
    return SensorEnd{SensorEnd::How::exited, WEXITSTATUS(status)};
}

}  // namespace brevalt
