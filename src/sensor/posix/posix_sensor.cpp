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
    int configure() {
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
        return ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
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

    SpawnSetup setup;
    if (const int e = setup.configure(); e != 0) return SysResult::failure("posix_spawn", e);

    // The sensor is started by its bare name with no arguments, in Brevalt's
    // own current directory and environment.
    std::string arg0 = executable_name_;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    if (const int e = ::posix_spawn(&pid, path->c_str(), setup.actions(), setup.attr(), argv, environ); e != 0) {
        return SysResult::failure("posix_spawn", e);
    }

    // An earlier sensor keeps running; it is only remembered for reaping.
    if (current_) to_collect_.push_back(*current_);
    current_ = pid;
    return SysResult::success();
}

void PosixSensor::stop() {
    if (!current_) return;
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
}

bool PosixSensor::stopped_gone() {
    drop_collected(stopped_);
    return stopped_.empty();
}

std::optional<SensorEnd> PosixSensor::reap() {
    drop_collected(stopped_);
    drop_collected(to_collect_);
    // No wait status is ever -1: it marks one that waitpid did not fill in
    // because someone else collected the child.
    constexpr int k_no_status = -1;
    int status = k_no_status;
    if (!current_ || !collected(*current_, &status)) return std::nullopt;
    current_.reset();
    if (status == k_no_status) return SensorEnd{};
    if (WIFSIGNALED(status)) return SensorEnd{SensorEnd::How::signalled, WTERMSIG(status)};
    return SensorEnd{SensorEnd::How::exited, WEXITSTATUS(status)};
}

}  // namespace brevalt
