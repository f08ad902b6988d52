// The POSIX sensor backend with real child processes: the stand-in sensor
// built beside the tests plays the sensor. Every check looks at the child
// from outside, through /proc and waitid, never through the backend's word.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/system_platform.h"
#include "rotation/rotation.h"
#include "sensor/posix/posix_sensor.h"
#include "temp_dir.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;
using test::write_file;

const fs::path k_standin_dir = BREVALT_STANDIN_DIR;
const fs::path k_standin = k_standin_dir / BREVALT_STANDIN_NAME;

// ---- looking at processes from outside ----------------------------------

// Polls until `done` holds. The bound only keeps a broken backend from
// hanging the suite; nothing here is a measure of speed.
template <typename Condition>
bool wait_until(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

fs::path proc(pid_t pid, const std::string& entry) { return fs::path("/proc") / std::to_string(pid) / entry; }

std::string link_target(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.string();
}

struct ProcStat {
    char state = '?';
    pid_t ppid = 0;
    pid_t pgrp = 0;
    pid_t session = 0;
};

std::optional<ProcStat> proc_stat(pid_t pid) {
    const std::string text = read_file(proc(pid, "stat"));
    const std::size_t name_end = text.rfind(')');
    if (name_end == std::string::npos) return std::nullopt;
    std::istringstream in(text.substr(name_end + 1));
    ProcStat stat;
    in >> stat.state >> stat.ppid >> stat.pgrp >> stat.session;
    if (!in) return std::nullopt;
    return stat;
}

std::vector<pid_t> children_of_this_process() {
    std::vector<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const pid_t pid = std::stoi(name);
        const auto stat = proc_stat(pid);
        if (stat && stat->ppid == ::getpid()) children.push_back(pid);
    }
    return children;
}

std::size_t open_descriptor_count() {
    const auto entries = fs::directory_iterator("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(fs::begin(entries), fs::end(entries)));
}

constexpr std::uint64_t signal_bit(int signal_number) { return std::uint64_t{1} << (signal_number - 1); }

// A signal mask line of /proc/<pid>/status: SigBlk, SigIgn, SigCgt, ShdPnd.
std::uint64_t status_mask(pid_t pid, const std::string& field) {
    std::istringstream in(read_file(proc(pid, "status")));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    }
    return 0;
}

// The stand-in installs its handlers before anything else; once SIGTERM shows
// as caught, a SIGTERM reaches its own handler instead of the default action.
bool wait_until_ready(pid_t pid) {
    return wait_until([pid] { return (status_mask(pid, "SigCgt") & signal_bit(SIGTERM)) != 0; });
}

bool wait_until_state(pid_t pid, char state) {
    return wait_until([pid, state] {
        const auto stat = proc_stat(pid);
        return stat && stat->state == state;
    });
}

// Waits for the child to end and says how (the exit status, or 128 + the
// signal that killed it). WNOWAIT leaves it a zombie for the backend to reap.
std::optional<int> wait_for_end_leaving_zombie(pid_t pid) {
    siginfo_t info{};
    const bool ended = wait_until([&] {
        info = {};
        return ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
    });
    if (!ended) return std::nullopt;
    return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
}

bool running_child(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

std::size_t line_count(const fs::path& file) {
    const std::string text = read_file(file);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// ---- the test's own surroundings ----------------------------------------

class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

class ScopedCwd {
public:
    explicit ScopedCwd(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
    ~ScopedCwd() {
        std::error_code ec;
        fs::current_path(old_, ec);
    }
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    fs::path old_;
};

fs::path place_standin(const fs::path& dir) {
    fs::create_directories(dir);
    const fs::path target = dir / "snort";
    fs::copy_file(k_standin, target);
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    return target;
}

fs::path exe_of(pid_t pid) { return fs::path(link_target(proc(pid, "exe"))); }

// Children are ours until reaped, so a leftover one is safe to kill by id.
// A failed assertion must not leave an endless stand-in behind.
class SensorProcessTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const pid_t pid : children_of_this_process()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    static void stop_and_clear(PosixSensor& sensor) {
        sensor.stop();
        sensor.ensure_stopped_gone();
    }
};

using SensorStartTest = SensorProcessTest;
using SensorStopTest = SensorProcessTest;
using SensorLifecycleTest = SensorProcessTest;
using StandinSensorTest = SensorProcessTest;

// ---- start --------------------------------------------------------------

TEST_F(SensorStartTest, RunsByBareNameInCallersDirectoryAndEnvironment) {
    TempDir work;
    ScopedCwd cwd(work.path());
    const std::string mark = "mark-" + std::to_string(::getpid());
    ScopedEnv env("BREVALT_SENSOR_TEST_MARK", mark);

    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(sensor.start().ok());
    ASSERT_TRUE(sensor.current_pid().has_value());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until_ready(pid));

    EXPECT_EQ(read_file(proc(pid, "cmdline")), std::string("snort\0", 6));
    EXPECT_EQ(exe_of(pid), fs::canonical(k_standin));
    EXPECT_EQ(link_target(proc(pid, "cwd")), fs::canonical(work.path()).string());
    const std::string environment = read_file(proc(pid, "environ"));
    EXPECT_NE(environment.find(std::string("BREVALT_SENSOR_TEST_MARK=") + mark + '\0'), std::string::npos);

    stop_and_clear(sensor);
}

TEST_F(SensorStartTest, IsolatedFromCallersSessionSignalsAndDescriptors) {
    TempDir scratch;
    // Descriptors a careless spawn would hand down: neither is close-on-exec.
    const int held_file = ::open((scratch / "held").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(held_file, 0);
    int held_pipe[2];
    ASSERT_EQ(::pipe(held_pipe), 0);
    // A signal blocked and one ignored here must not carry over.
    sigset_t usr1;
    sigset_t old_mask;
    ::sigemptyset(&usr1);
    ::sigaddset(&usr1, SIGUSR1);
    ASSERT_EQ(::sigprocmask(SIG_BLOCK, &usr1, &old_mask), 0);
    struct sigaction ignore {};
    struct sigaction old_usr2 {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGUSR2, &ignore, &old_usr2), 0);

    // And standard input must not be ours either, whatever it is.
    const int saved_stdin = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    ASSERT_GE(saved_stdin, 0);
    ASSERT_EQ(::dup2(held_pipe[0], STDIN_FILENO), STDIN_FILENO);

    PosixSensor sensor(k_standin_dir.string());
    const SysResult started = sensor.start();
    ::dup2(saved_stdin, STDIN_FILENO);
    ::close(saved_stdin);
    ::sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    ::sigaction(SIGUSR2, &old_usr2, nullptr);
    ASSERT_TRUE(started.ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until_ready(pid));

    const auto stat = proc_stat(pid);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->session, pid);
    EXPECT_EQ(stat->pgrp, pid);
    EXPECT_EQ(status_mask(pid, "SigBlk"), 0U);
    EXPECT_EQ(status_mask(pid, "SigIgn"), 0U);

    // The stand-in opens its own logs for a moment now and then.
    const std::string own_logs = (fs::canonical(k_standin_dir) / "log").string() + "/";
    std::vector<int> descriptors;
    for (const auto& entry : fs::directory_iterator(proc(pid, "fd"))) {
        const std::string target = link_target(entry.path());
        if (target.empty() || target.rfind(own_logs, 0) == 0) continue;
        descriptors.push_back(std::stoi(entry.path().filename().string()));
    }
    std::sort(descriptors.begin(), descriptors.end());
    EXPECT_EQ(descriptors, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(link_target(proc(pid, "fd/0")), "/dev/null");
    EXPECT_EQ(link_target(proc(pid, "fd/1")), link_target("/proc/self/fd/1"));
    EXPECT_EQ(link_target(proc(pid, "fd/2")), link_target("/proc/self/fd/2"));

    stop_and_clear(sensor);
    ::close(held_file);
    ::close(held_pipe[0]);
    ::close(held_pipe[1]);
}

// A "snort" planted in the current directory must never run, however PATH
// points at it; the same file named by an absolute PATH entry does.
TEST_F(SensorStartTest, SearchSkipsCurrentDirectoryAndRelativePathEntries) {
    TempDir program_dir;  // no sensor beside the program
    TempDir work;
    place_standin(work.path());
    place_standin(work / "rel");
    ScopedCwd cwd(work.path());
    ScopedEnv path("PATH", ":.:rel:./rel:rel/");

    PosixSensor sensor(program_dir.path().string());
    const SysResult missing = sensor.start();
    EXPECT_FALSE(missing.ok());
    EXPECT_STREQ(missing.failed_call, "search");
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_FALSE(sensor.current_pid().has_value());
    EXPECT_EQ(sensor.tracked_children(), 0U);
    EXPECT_TRUE(children_of_this_process().empty());

    // The program goes on: a stop with nothing started is harmless, and once
    // PATH names the folder absolutely the same file is found.
    sensor.stop();
    sensor.ensure_stopped_gone();
    ScopedEnv absolute("PATH", ":.:rel:" + (work / "rel").string());
    ASSERT_TRUE(sensor.start().ok());
    EXPECT_EQ(exe_of(*sensor.current_pid()), work / "rel" / "snort");

    stop_and_clear(sensor);
}

TEST_F(SensorStartTest, SearchPrefersProgramFolderThenPathAndSkipsUnrunnableFiles) {
    TempDir program_dir;
    TempDir first_on_path;
    TempDir second_on_path;
    const fs::path beside_program = place_standin(program_dir.path());
    const fs::path on_path = place_standin(second_on_path.path());
    ScopedEnv path("PATH", first_on_path.path().string() + ":" + second_on_path.path().string());

    PosixSensor sensor(program_dir.path().string());
    ASSERT_TRUE(sensor.start().ok());
    EXPECT_EQ(exe_of(*sensor.current_pid()), beside_program);
    stop_and_clear(sensor);

    // A "snort" that is not executable, or not a file at all, is passed over.
    fs::permissions(beside_program, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directory(first_on_path / "snort");
    ASSERT_TRUE(sensor.start().ok());
    EXPECT_EQ(exe_of(*sensor.current_pid()), on_path);
    stop_and_clear(sensor);
}

// ---- stop ---------------------------------------------------------------

TEST_F(SensorStopTest, StopEndsSensorWithExitStatusZeroAndReapCollectsIt) {
    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(sensor.start().ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until_ready(pid));

    sensor.stop();
    EXPECT_FALSE(sensor.current_pid().has_value());
    EXPECT_EQ(wait_for_end_leaving_zombie(pid), std::optional<int>(0));

    sensor.reap();
    EXPECT_EQ(sensor.tracked_children(), 0U);
    EXPECT_TRUE(children_of_this_process().empty());
}

TEST_F(SensorStopTest, StopAfterSecondStartLeavesEarlierSensorRunning) {
    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(sensor.start().ok());
    const pid_t earlier = *sensor.current_pid();
    ASSERT_TRUE(sensor.start().ok());
    const pid_t newer = *sensor.current_pid();
    ASSERT_NE(earlier, newer);
    EXPECT_EQ(sensor.tracked_children(), 2U);
    ASSERT_TRUE(wait_until_ready(earlier));
    ASSERT_TRUE(wait_until_ready(newer));

    sensor.stop();
    EXPECT_EQ(wait_for_end_leaving_zombie(newer), std::optional<int>(0));
    sensor.ensure_stopped_gone();
    sensor.reap();
    EXPECT_TRUE(running_child(earlier));
    EXPECT_EQ(sensor.tracked_children(), 1U);

    // The earlier sensor is still a child of ours, so it may be killed by id;
    // the backend then reaps it like any other.
    ASSERT_EQ(::kill(earlier, SIGKILL), 0);
    EXPECT_TRUE(wait_until([&] {
        sensor.reap();
        return sensor.tracked_children() == 0;
    }));
    EXPECT_TRUE(children_of_this_process().empty());
}

// Signals to a process held by SIGSTOP stay pending and show in ShdPnd, so
// each stop's SIGTERM can be seen on its own.
TEST_F(SensorStopTest, StopBeforeStartAndSecondStopSignalNothing) {
    PosixSensor sensor(k_standin_dir.string());
    sensor.stop();
    sensor.ensure_stopped_gone();
    sensor.reap();
    EXPECT_EQ(sensor.tracked_children(), 0U);

    ScopedEnv ignore_term("STANDIN_SENSOR_IGNORE_TERM", "1");
    ASSERT_TRUE(sensor.start().ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until_ready(pid));

    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    ASSERT_TRUE(wait_until_state(pid, 'T'));
    sensor.stop();
    EXPECT_NE(status_mask(pid, "ShdPnd") & signal_bit(SIGTERM), 0U) << "the first stop sends SIGTERM";

    // Let the stand-in take and shrug off that SIGTERM, then hold it again.
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    ASSERT_TRUE(wait_until([pid] { return (status_mask(pid, "ShdPnd") & signal_bit(SIGTERM)) == 0; }));
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    ASSERT_TRUE(wait_until_state(pid, 'T'));

    sensor.stop();
    EXPECT_EQ(status_mask(pid, "ShdPnd") & signal_bit(SIGTERM), 0U) << "a second stop must send nothing";
    EXPECT_TRUE(running_child(pid));
    EXPECT_EQ(sensor.tracked_children(), 1U);

    sensor.ensure_stopped_gone();
    EXPECT_TRUE(children_of_this_process().empty());
}

TEST_F(SensorStopTest, EnsureStoppedGoneKillsSensorThatIgnoresTerm) {
    ScopedEnv ignore_term("STANDIN_SENSOR_IGNORE_TERM", "1");
    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(sensor.start().ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until_ready(pid));

    sensor.stop();
    ASSERT_TRUE(wait_until([pid] { return (status_mask(pid, "ShdPnd") & signal_bit(SIGTERM)) == 0; }));
    ASSERT_TRUE(running_child(pid)) << "the stand-in should have carried on after SIGTERM";

    sensor.ensure_stopped_gone();
    errno = 0;
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_EQ(sensor.tracked_children(), 0U);
}

// A sensor that dies on its own (here: killed behind the backend's back)
// must be collected, and its id, free for reuse once collected, never
// signalled by a later stop.
TEST_F(SensorStopTest, SensorThatEndedByItselfIsReapedAndNotStopped) {
    PosixSensor sensor(k_standin_dir.string());

    ASSERT_TRUE(sensor.start().ok());
    pid_t pid = *sensor.current_pid();
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(wait_for_end_leaving_zombie(pid).has_value());
    sensor.reap();
    EXPECT_FALSE(sensor.current_pid().has_value());
    EXPECT_EQ(sensor.tracked_children(), 0U);
    EXPECT_TRUE(children_of_this_process().empty());
    sensor.stop();
    EXPECT_EQ(sensor.tracked_children(), 0U);

    // Ended, not yet reaped when the stop comes: the stop collects it and
    // leaves nothing behind to signal or kill later.
    ASSERT_TRUE(sensor.start().ok());
    pid = *sensor.current_pid();
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(wait_for_end_leaving_zombie(pid).has_value());
    sensor.stop();
    EXPECT_EQ(sensor.tracked_children(), 0U);
    EXPECT_TRUE(children_of_this_process().empty());
}

// ---- months of use --------------------------------------------------------

TEST_F(SensorLifecycleTest, ThousandStartStopCyclesLeaveNoZombieNorDescriptor) {
    PosixSensor sensor(k_standin_dir.string());
    const std::size_t descriptors_before = open_descriptor_count();

    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_TRUE(sensor.start().ok()) << "cycle " << cycle;
        sensor.stop();
    }
    EXPECT_TRUE(wait_until([&] {
        sensor.reap();
        return sensor.tracked_children() == 0;
    }));

    EXPECT_TRUE(children_of_this_process().empty());
    EXPECT_EQ(open_descriptor_count(), descriptors_before);
}

// A whole rotation with a sensor that ignores the request to end: by the
// time the first log moves, the old sensor must be gone, and a new one runs.
TEST_F(SensorLifecycleTest, RotationEndsAStubbornSensorBeforeRenaming) {
    ScopedEnv ignore_term("STANDIN_SENSOR_IGNORE_TERM", "1");
    TempDir program;
    place_standin(program.path());
    fs::create_directory(program / "log");

    struct Recorder final : Platform {
        LocalTime now() override { return real.now(); }
        void sleep_ms(unsigned) override {}  // the stand-in ignores SIGTERM: no wait would help
        ProgramDir program_dir() override { return {dir, SysResult::success()}; }
        [[nodiscard]] char path_separator() const override { return '/'; }
        SysResult rename_no_replace(const std::string& from, const std::string& to) override {
            if (renames++ == 0) old_alive_at_rename = ::kill(old_pid, 0) == 0;
            return real.rename_no_replace(from, to);
        }
        SystemPlatform real;
        std::string dir;
        pid_t old_pid = 0;
        int renames = 0;
        bool old_alive_at_rename = true;
    } platform;
    platform.dir = program.path().string();

    PosixSensor sensor(program.path().string());
    ASSERT_TRUE(sensor.start().ok());
    platform.old_pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until_ready(platform.old_pid));
    ASSERT_TRUE(wait_until([&] { return fs::exists(program / "log" / "alert.ids"); }));

    const RotationReport report = rotate_logs(platform, sensor);
    EXPECT_EQ(platform.renames, 2);
    EXPECT_FALSE(platform.old_alive_at_rename);
    EXPECT_TRUE(report.alert_rename.ok());
    ASSERT_TRUE(sensor.current_pid().has_value());
    EXPECT_NE(*sensor.current_pid(), platform.old_pid);
    EXPECT_TRUE(running_child(*sensor.current_pid()));
}

// ---- the stand-in itself ----------------------------------------------------

TEST_F(StandinSensorTest, AppendsToBothLogsBesideItselfAndCarriesOnAfterRename) {
    TempDir home;
    place_standin(home.path());
    fs::create_directory(home / "log");
    const fs::path alert = home.path() / "log" / "alert.ids";
    const fs::path scan = home.path() / "log" / "scan.log";
    const fs::path dated = home.path() / "log" / "alert.ids.20261206";
    write_file(alert, "earlier line\n");

    PosixSensor sensor(home.path().string());
    ASSERT_TRUE(sensor.start().ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until([&] { return line_count(alert) >= 2 && line_count(scan) >= 1; }));

    const std::string alert_text = read_file(alert);
    EXPECT_EQ(alert_text.rfind("earlier line\n", 0), 0U) << "appends, never truncates";
    const std::regex stamped(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} .+)");
    std::istringstream scan_lines(read_file(scan));
    std::string first_scan_line;
    std::getline(scan_lines, first_scan_line);
    EXPECT_TRUE(std::regex_match(first_scan_line, stamped)) << first_scan_line;

    // A rotation renames the log under the running sensor: the next line
    // goes to a new "alert.ids", never into the renamed file.
    fs::rename(alert, dated);
    ASSERT_TRUE(wait_until([&] { return line_count(alert) >= 1; }));
    const std::string dated_text = read_file(dated);
    ASSERT_TRUE(wait_until([&] { return line_count(alert) >= 2; }));
    EXPECT_EQ(read_file(dated), dated_text);

    sensor.stop();
    EXPECT_EQ(wait_for_end_leaving_zombie(pid), std::optional<int>(0));
    sensor.reap();
}

TEST_F(StandinSensorTest, ExitsZeroOnInterrupt) {
    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(sensor.start().ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until_ready(pid));

    ASSERT_EQ(::kill(pid, SIGINT), 0);
    EXPECT_EQ(wait_for_end_leaving_zombie(pid), std::optional<int>(0));
    sensor.reap();
    EXPECT_EQ(sensor.tracked_children(), 0U);
}

}  // namespace
}  // namespace brevalt
