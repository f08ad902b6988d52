#include "sensor/posix/posix_sensor.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "sensor/grace.h"

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
void drop_collected(std::vector<pid_t>& pids) {
    std::erase_if(pids, [](pid_t pid) { return collected(pid); });
}

// Where a sensor finds the folder's claim: the first descriptor after
// standard error.
constexpr int k_sensor_claim_fd = 3;

// The sensor's files are the operators' alone, whatever mask Brevalt was
// started with (a terminal's 022, root's): every operator's sensor must be
// able to append to every log, and nobody else read them.
constexpr mode_t k_sensor_umask = 007;

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

FolderClaim PosixSensor::claim_folder(const std::string& folder) {
    LogFolderClaim::Attempt attempt = claim_.claim(folder);
    if (attempt.left_sensor) current_ = Watched{attempt.left_sensor->pid, std::move(attempt.left_sensor->process), false};
    return std::move(attempt.claim);
}

std::optional<pid_t> PosixSensor::current_pid() const {
    if (current_) return current_->pid;
    return std::nullopt;
}

std::optional<long> PosixSensor::running_pid() const { return current_pid(); }

std::size_t PosixSensor::tracked_children() const {
    std::size_t children = to_collect_.size();
    if (current_ && current_->child) ++children;
    for (const Watched& sensor : stopped_) children += sensor.child ? 1U : 0U;
    return children;
}

// The program's own folder first, then the absolute folders of PATH. The
// current directory is never searched, not even through an empty or "."
// entry: whoever can write a file there could otherwise have it run.
std::vector<std::string> PosixSensor::search_folders() const {
    std::vector<std::string> folders;
    if (!program_dir_.empty()) folders.push_back(program_dir_);
    const char* path_env = std::getenv("PATH");
    if (path_env == nullptr) return folders;
    std::string_view rest(path_env);
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (!entry.empty() && entry.front() == '/') folders.emplace_back(entry);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return folders;
}

std::optional<std::string> PosixSensor::find_executable() const {
    for (const std::string& folder : search_folders()) {
        std::string candidate = join_path(folder, executable_name_);
        if (is_runnable_file(candidate)) return candidate;
    }
    return std::nullopt;
}

// The group keeps its leader's id for as long as any of its processes
// lives, and the id is not given out again while the leader is unreaped or
// its descriptor is held: a signal to the group reaches only what the sensor
// started.
bool PosixSensor::signal_group(const Watched& sensor, int signal_number) {
    if (sensor.process) return sensor.process->signal_group(signal_number);
    return sensor.child && sensor.pid != ::getpgrp() && !collected(sensor.pid) &&
           ::kill(-sensor.pid, signal_number) == 0;
}

// A child must be collected before its group can be seen empty: an ended
// but uncollected leader still counts as one of it.
bool PosixSensor::gone(const Watched& sensor) {
    if (sensor.child && !collected(sensor.pid)) return false;
    return !sensor.process || sensor.process->group_gone();
}

SensorStart PosixSensor::start() {
    // A remembered sensor that ended by itself is replaced now, so there is
    // nothing left to report about it.
    (void)reap();

    const std::optional<std::string> path = find_executable();
    if (!path) {
        SensorStart missing = SensorStart::because(SensorStart::Outcome::not_found);
        missing.executable = executable_name_;
        for (const std::string& folder : search_folders()) {
            missing.searched += (missing.searched.empty() ? "" : ", ") + folder;
        }
        return missing;
    }
    await_stopped_gone();
    // Never two sensors for one folder: whatever of an earlier one still
    // holds the claim keeps a new one from starting.
    if (!claim_.hold_alone()) return SensorStart::because(SensorStart::Outcome::claim_lost);

    // The mask is the process's, so it is set around the output file's
    // opening and the spawn; no thread of Brevalt's creates a file that
    // relies on it meanwhile.
    const mode_t own_umask = ::umask(k_sensor_umask);
    // The sensor's own words go to a file that outlives Brevalt, each start
    // beginning it afresh; a link planted under its name is not followed.
    // Opened here rather than by the spawn, so that a file that cannot be
    // opened leaves the sensor with Brevalt's own output instead of unstarted.
    const int output_fd = output_path_.empty() ? -1
        : ::open(output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0660);
    SpawnSetup setup;
    const int setup_error = setup.configure(claim_.hand_to_sensor(), output_fd);
    if (setup_error != 0) {
        ::umask(own_umask);
        if (output_fd >= 0) ::close(output_fd);
        return SensorStart::failure(SysResult::failure("posix_spawn", setup_error));
    }

    // The sensor is started by its bare name with no arguments, in Brevalt's
    // own current directory and environment.
    std::string arg0 = executable_name_;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    const int spawn_error = ::posix_spawn(&pid, path->c_str(), setup.actions(), setup.attr(), argv, environ);
    ::umask(own_umask);
    if (output_fd >= 0) ::close(output_fd);
    if (spawn_error != 0) return SensorStart::failure(SysResult::failure("posix_spawn", spawn_error));

    output_opened_ = output_fd >= 0 ? output_path_ : std::string();
    // An earlier sensor keeps running; it is only remembered for reaping.
    if (current_ && current_->child) to_collect_.push_back(current_->pid);
    // Opened while the child is unreaped, so it names this child.
    current_ = Watched{pid, PidFd::open(pid), true};
    claim_.record(pid);
    return SensorStart::done();
}

void PosixSensor::stop() {
    if (!current_) return;
    Watched sensor = std::move(*current_);
    current_.reset();
    // SIGTERM lets the sensor close its logs and exit 0; a leader that ended
    // by itself may still leave processes it started. No wait here: the
    // rotation's fixed pause is what gives them time.
    (void)signal_group(sensor, SIGTERM);
    stopped_.push_back(std::move(sensor));
}

void PosixSensor::await_stopped_gone() {
    end_stopped_within_grace(*this, 20, [](unsigned step_ms) {
        timespec pause{0, static_cast<long>(step_ms) * 1'000'000L};
        ::nanosleep(&pause, nullptr);
    });
}

void PosixSensor::ensure_stopped_gone() {
    for (const Watched& sensor : stopped_) {
        if (gone(sensor)) continue;
        // Still alive after its grace time: it would go on writing into a
        // log that is about to be renamed, or hold what a new sensor needs.
        (void)signal_group(sensor, SIGKILL);
        bool ended = false;
        for (int step = 0; step <= k_kill_wait_steps && !(ended = gone(sensor)); ++step) {
            timespec pause{0, k_kill_wait_step_ns};
            ::nanosleep(&pause, nullptr);
        }
        // Not yet gone: it is never signalled again, only collected later.
        if (!ended && sensor.child) to_collect_.push_back(sensor.pid);
    }
    stopped_.clear();
    // A sensor taken over held the claim; it is ours again the moment it is gone.
    (void)claim_.hold();
}

bool PosixSensor::stopped_gone() {
    std::erase_if(stopped_, [](const Watched& sensor) { return gone(sensor); });
    if (stopped_.empty()) (void)claim_.hold();
    return stopped_.empty();
}

bool PosixSensor::holds_claim() {
    if (current_) return claim_.hold();
    return claim_.hold_alone();
}

std::optional<std::intptr_t> PosixSensor::end_handle() const {
    if (current_ && current_->process) return current_->process->descriptor();
    return std::nullopt;
}

std::optional<SensorEnd> PosixSensor::reap() {
    drop_collected(to_collect_);
    (void)stopped_gone();
    if (!current_) return std::nullopt;
    // No wait status is ever -1: it marks one that waitpid did not fill in
    // because someone else collected the child.
    constexpr int k_no_status = -1;
    int status = k_no_status;
    if (current_->child ? !collected(current_->pid, &status) : !current_->process->ended()) return std::nullopt;
    Watched ended = std::move(*current_);
    current_.reset();
    // What the sensor started may outlive it (a wrapper's own child): it
    // is asked to end with it, and is gone before another sensor starts.
    if (signal_group(ended, SIGTERM)) stopped_.push_back(std::move(ended));
    // A sensor taken over held the claim: it is ours again at once, before
    // another Brevalt's next check could take it.
    (void)claim_.hold();
    // No child of ours, or collected by someone else: how it ended is its
    // parent's to know.
    if (status == k_no_status) return SensorEnd{};
    if (WIFSIGNALED(status)) return SensorEnd{SensorEnd::How::signalled, WTERMSIG(status)};
    return SensorEnd{SensorEnd::How::exited, WEXITSTATUS(status)};
}

}  // namespace brevalt
