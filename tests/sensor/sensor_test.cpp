// The POSIX sensor backend with real child processes, the stand-in playing the
// sensor. Every check looks at the child from outside, through /proc and
// waitid.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes.h"
#include "sensor/posix/posix_sensor.h"

// A process stuck in the kernel outlives SIGKILL for as long as it stays
// stuck. The test makes one by standing in for the C library's kill() and
// syscall(): the backend's calls bind to these definitions, which drop a
// SIGKILL aimed at the chosen process (or its group) and count the rest.
namespace {
pid_t g_unkillable = 0;
int g_kills = 0;
// A kernel older than 6.9 refuses to signal a process group through a
// process descriptor.
bool g_no_group_signal = false;

pid_t pid_of_descriptor(long fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("Pid:", 0) == 0) return static_cast<pid_t>(std::stol(line.substr(4)));
    }
    return 0;
}
}  // namespace

extern "C" long syscall(long number, ...) noexcept {
    va_list list;
    va_start(list, number);
    long a[6];
    for (long& arg : a) arg = va_arg(list, long);
    va_end(list);
    static const auto real = reinterpret_cast<long (*)(long, ...)>(::dlsym(RTLD_NEXT, "syscall"));
    if (number == SYS_pidfd_send_signal && a[3] != 0 && g_no_group_signal) {
        errno = EINVAL;
        return -1;
    }
    if (number == SYS_pidfd_send_signal && a[1] != 0) {
        ++g_kills;
        if (a[1] == SIGKILL && g_unkillable != 0 && pid_of_descriptor(a[0]) == g_unkillable) return 0;
    }
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

// A network file system may refuse locks on folders: flock fails on the
// folder with this inode as it does there.
ino_t g_unlockable = 0;

extern "C" int flock(int fd, int operation) noexcept {
    struct stat st {};
    if (g_unlockable != 0 && ::fstat(fd, &st) == 0 && st.st_ino == g_unlockable) {
        errno = ENOLCK;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

extern "C" int kill(pid_t pid, int signal) noexcept {
    ++g_kills;
    if ((pid == g_unkillable || pid == -g_unkillable) && signal == SIGKILL) return 0;
    return static_cast<int>(::syscall(SYS_kill, pid, signal));
}

namespace brevalt {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;

const fs::path k_standin_dir = BREVALT_STANDIN_DIR;

// The bound only keeps a broken backend from hanging the suite.
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

// A line of /proc/<pid>/status after its name: State, SigBlk, SigIgn, SigCgt,
// ShdPnd.
std::string status_of(pid_t pid, const std::string& field) {
    std::istringstream in(read_file(proc(pid, "status")));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":\t", 0) == 0) return line.substr(field.size() + 2);
    }
    return {};
}

// SigCgt: the stand-in installs its handlers first; from then on a SIGTERM
// reaches it. ShdPnd: a SIGTERM sent and not yet taken.
bool has_term(pid_t pid, const std::string& mask) {
    return (std::stoull(status_of(pid, mask), nullptr, 16) >> (SIGTERM - 1) & 1U) != 0;
}

// Held by SIGSTOP, a process keeps the signals sent to it pending in ShdPnd.
bool hold(pid_t pid) {
    return ::kill(pid, SIGSTOP) == 0 && wait_until([pid] { return status_of(pid, "State").rfind('T', 0) == 0; });
}

// si_pid is 0 while our child runs, its id once it has ended, -1 if it is not
// (or no longer) ours. WNOWAIT leaves an ended one for the backend to reap.
siginfo_t child_state(pid_t pid) {
    siginfo_t info{};
    if (::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0) info.si_pid = -1;
    return info;
}

bool no_children() {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
}

fs::path place_standin(const fs::path& dir) {
    fs::create_directories(dir);
    fs::copy_file(k_standin_dir / BREVALT_STANDIN_NAME, dir / "snort");
    fs::permissions(dir / "snort", fs::perms::owner_all);
    return dir / "snort";
}

// No sensor starts without the log folder's claim.
bool claims(PosixSensor& sensor, const fs::path& folder) {
    fs::create_directories(folder);
    return sensor.claim_folder(folder.string()).outcome == FolderClaim::Outcome::claimed;
}

// Children are ours until reaped, so a leftover one is safe to kill by id; a
// failed assertion must leave no endless stand-in and no changed surroundings.
class SensorTest : public ::testing::Test {
protected:
    void TearDown() override {
        std::istringstream children(read_file(proc(::getpid(), "task/" + std::to_string(::getpid()) + "/children")));
        for (pid_t pid = 0; children >> pid;) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::setenv("PATH", path_.c_str(), 1);
        ::unsetenv("STANDIN_SENSOR_IGNORE_TERM");
        fs::current_path(cwd_);
    }

private:
    const std::string path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    const fs::path cwd_ = fs::current_path();
};

TEST_F(SensorTest, StartsByBareNameInCallersDirectoryAndEnvironmentIsolated) {
    TempDir work;
    place_standin(work / "bin");
    fs::current_path(work.path());
    ::setenv("BREVALT_SENSOR_TEST_MARK", "1", 1);
    // What a careless spawn hands down: a blocked and an ignored signal, a
    // descriptor without close-on-exec, and our own standard input.
    sigset_t usr1;
    sigset_t old_mask;
    ::sigemptyset(&usr1);
    ::sigaddset(&usr1, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &usr1, &old_mask);
    const auto old_usr2 = ::signal(SIGUSR2, SIG_IGN);
    int held[2];
    ASSERT_EQ(::pipe(held), 0);
    const int saved_stdin = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    ::dup2(held[0], STDIN_FILENO);

    PosixSensor sensor((work / "bin").string());
    ASSERT_TRUE(claims(sensor, work / "log"));
    const mode_t own_umask = ::umask(022);
    const SensorStart started = sensor.start();
    ::umask(own_umask);
    ::dup2(saved_stdin, STDIN_FILENO);
    for (const int fd : {saved_stdin, held[0], held[1]}) ::close(fd);
    ::sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    ::signal(SIGUSR2, old_usr2);
    ::unsetenv("BREVALT_SENSOR_TEST_MARK");
    ASSERT_TRUE(started.ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until([pid] { return has_term(pid, "SigCgt"); }));

    EXPECT_EQ(read_file(proc(pid, "cmdline")), std::string("snort\0", 6));
    EXPECT_EQ(fs::read_symlink(proc(pid, "cwd")), fs::canonical(work.path()));
    const std::string mark = std::string("BREVALT_SENSOR_TEST_MARK=1") + '\0';
    EXPECT_NE(read_file(proc(pid, "environ")).find(mark), std::string::npos);
    EXPECT_EQ(::getsid(pid), pid);
    EXPECT_EQ(::getpgid(pid), pid);
    EXPECT_EQ(status_of(pid, "SigBlk"), "0000000000000000");
    EXPECT_EQ(status_of(pid, "SigIgn"), "0000000000000000");
    EXPECT_EQ(fs::read_symlink(proc(pid, "fd/0")), "/dev/null");
    EXPECT_EQ(status_of(pid, "Umask"), "0007") << "the logs are the operators' alone, whatever Brevalt's own mask";
    // Polled: the C library opens the time zone file for a moment at start.
    EXPECT_TRUE(wait_until([pid] {
        std::set<std::string> open;
        for (const auto& entry : fs::directory_iterator(proc(pid, "fd"))) open.insert(entry.path().filename());
        return open == std::set<std::string>{"0", "1", "2", "3"};
    }));
    EXPECT_EQ(fs::read_symlink(proc(pid, "fd/3")), work / "log") << "the claim, and nothing else of Brevalt's";
}

// A "snort" in the current directory or under a relative PATH entry must
// never run: whoever can write a file there could have it started.
TEST_F(SensorTest, SearchesProgramFolderThenAbsolutePathEntriesOnly) {
    TempDir work;
    const fs::path beside_program = place_standin(work / "program");
    fs::permissions(beside_program, fs::perms::owner_read | fs::perms::owner_write);
    place_standin(work.path());
    const fs::path on_path = place_standin(work / "rel");
    fs::create_directories(work / "odd" / "snort");
    fs::current_path(work.path());
    ::setenv("PATH", ":.:rel:./rel:rel/", 1);

    PosixSensor sensor((work / "program").string());
    ASSERT_TRUE(claims(sensor, work / "log"));
    EXPECT_EQ(sensor.start().outcome, SensorStart::Outcome::not_found);
    EXPECT_FALSE(sensor.current_pid().has_value());
    EXPECT_TRUE(no_children());

    ::setenv("PATH", (":.:rel:" + (work / "odd").string() + ":" + on_path.parent_path().string()).c_str(), 1);
    ASSERT_TRUE(sensor.start().ok());
    EXPECT_EQ(fs::read_symlink(proc(*sensor.current_pid(), "exe")), on_path);
    sensor.stop();
    sensor.ensure_stopped_gone();
    fs::permissions(beside_program, fs::perms::owner_all);
    ASSERT_TRUE(sensor.start().ok());
    EXPECT_EQ(fs::read_symlink(proc(*sensor.current_pid(), "exe")), beside_program);
}

// A start while a sensor still holds the folder's claim starts nothing and
// touches nothing: never two sensors for one folder.
TEST_F(SensorTest, StopSignalsTheSensorOnceAndEnsureStoppedGoneKillsIt) {
    TempDir work;
    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(claims(sensor, work / "log"));
    sensor.stop();  // nothing started: nothing may be signalled
    sensor.ensure_stopped_gone();
    ::setenv("STANDIN_SENSOR_IGNORE_TERM", "1", 1);
    ASSERT_TRUE(sensor.start().ok());
    const pid_t newer = *sensor.current_pid();
    ASSERT_TRUE(wait_until([newer] { return has_term(newer, "SigCgt"); }));
    EXPECT_EQ(sensor.start().outcome, SensorStart::Outcome::claim_lost);
    EXPECT_EQ(sensor.tracked_children(), 1U) << "no second sensor";
    ASSERT_TRUE(wait_until([newer] { return has_term(newer, "SigCgt"); }) && hold(newer));

    sensor.stop();
    EXPECT_TRUE(has_term(newer, "ShdPnd"));
    // Let it take and shrug off that SIGTERM, then hold it again.
    ASSERT_EQ(::kill(newer, SIGCONT), 0);
    ASSERT_TRUE(wait_until([&] { return !has_term(newer, "ShdPnd"); }) && hold(newer));
    sensor.stop();
    EXPECT_FALSE(has_term(newer, "ShdPnd")) << "a second stop must send nothing";

    ASSERT_EQ(::kill(newer, SIGCONT), 0);
    sensor.ensure_stopped_gone();
    EXPECT_EQ(child_state(newer).si_pid, -1) << "killed and reaped";
    EXPECT_EQ(sensor.tracked_children(), 0U);
    EXPECT_TRUE(no_children());
}

// Once collected, the id of a sensor that ended by itself may belong to
// someone else: no later stop may touch it. Collecting it tells how it ended,
// once; one that a stop found ended is collected and not reported.
TEST_F(SensorTest, SensorThatEndedByItselfIsCollectedAndToldButNotStopped) {
    TempDir work;
    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(claims(sensor, work / "log"));
    const auto start_and_end = [&] {
        if (!sensor.start().ok()) return pid_t{0};
        const pid_t pid = *sensor.current_pid();
        return ::kill(pid, SIGKILL) == 0 && wait_until([pid] { return child_state(pid).si_pid == pid; }) ? pid : 0;
    };
    const pid_t first = start_and_end();
    ASSERT_NE(first, 0);
    const std::optional<SensorEnd> end = sensor.reap();
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->how, SensorEnd::How::signalled);
    EXPECT_EQ(end->number, SIGKILL);
    EXPECT_EQ(child_state(first).si_pid, -1) << "collected";
    EXPECT_FALSE(sensor.reap().has_value()) << "told once";
    g_kills = 0;
    sensor.stop();
    sensor.ensure_stopped_gone();
    EXPECT_EQ(g_kills, 0) << "its id may be another process's by now";

    ASSERT_NE(start_and_end(), 0);
    sensor.stop();  // finds it ended: collects it, signals nothing, reports nothing
    EXPECT_FALSE(sensor.reap().has_value());
    EXPECT_EQ(sensor.tracked_children(), 0U);
    EXPECT_TRUE(no_children());
}

// The window waits while a rotation makes sure of the old sensor: one that
// survives SIGKILL must not hang it, and is collected once it is gone.
TEST_F(SensorTest, SensorThatOutlivesSigkillIsLeftForALaterReap) {
    ::setenv("STANDIN_SENSOR_IGNORE_TERM", "1", 1);
    TempDir work;
    PosixSensor sensor(k_standin_dir.string());
    ASSERT_TRUE(claims(sensor, work / "log"));
    ASSERT_TRUE(sensor.start().ok());
    const pid_t pid = *sensor.current_pid();
    ASSERT_TRUE(wait_until([pid] { return has_term(pid, "SigCgt"); }));
    g_unkillable = pid;
    sensor.stop();
    sensor.ensure_stopped_gone();
    g_unkillable = 0;
    EXPECT_EQ(child_state(pid).si_pid, 0) << "still running, as the kernel kept it";
    EXPECT_EQ(sensor.tracked_children(), 1U);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_TRUE(wait_until([&] {
        sensor.reap();
        return sensor.tracked_children() == 0 && no_children();
    }));
}

bool locked_by_someone(const fs::path& folder) {
    const int probe = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool held = ::flock(probe, LOCK_EX | LOCK_NB) != 0;
    ::close(probe);
    return held;
}

// A sensor left running keeps the folder's claim, and the record in the
// folder tells the next Brevalt which process it is: nothing is read from
// the sensor's own /proc entries, which a sensor with capture rights hides.
// Only what is shown to hold this folder is ever named or taken over.
TEST_F(SensorTest, SensorLeftRunningIsTakenOverByItsRecordAndTheClaimNeverLapses) {
    TempDir work;
    const fs::path log = work / "log";
    fs::create_directories(log);
    // The sensor is a wrapper that execs the real one, which also runs
    // from elsewhere without Brevalt.
    const fs::path real = place_standin(work / "elsewhere");
    fs::create_directories(work / "bin");
    test::write_file(work / "bin" / "snort", "#!/bin/sh\nexec " + real.string() + "\n");
    fs::permissions(work / "bin" / "snort", fs::perms::owner_all);
    PosixSensor same_name((work / "elsewhere").string());
    ASSERT_TRUE(claims(same_name, work / "other") && same_name.start().ok());
    const auto leave_sensor = [&] {
        PosixSensor earlier((work / "bin").string());
        return claims(earlier, log) && earlier.start().ok() ? *earlier.current_pid() : pid_t{0};
    };  // that Brevalt is gone, its sensor runs on

    const pid_t left = leave_sensor();
    ASSERT_NE(left, 0);
    {
        PosixSensor later((work / "bin").string());
        FolderClaim claim = later.claim_folder(log.string());
        ASSERT_EQ(claim.outcome, FolderClaim::Outcome::taken_over);
        EXPECT_EQ(later.running_pid(), left);
        // Killed from outside: the claim is taken back at once, before another
        // Brevalt's check could take it and start a second sensor.
        ASSERT_EQ(::kill(left, SIGKILL), 0);
        ASSERT_TRUE(wait_until([&] { return later.reap().has_value(); }));
        EXPECT_TRUE(locked_by_someone(log)) << "Brevalt holds the claim again";
        ASSERT_TRUE(later.start().ok());
        EXPECT_EQ(fs::read_symlink(proc(*later.current_pid(), "fd/3")), log);
        later.stop();
        later.ensure_stopped_gone();
    }

    // Another Brevalt takes the claim the moment a sensor taken over ends:
    // no sensor is started here then.
    const pid_t second = leave_sensor();
    ASSERT_NE(second, 0);
    PosixSensor third((work / "bin").string());
    ASSERT_EQ(third.claim_folder(log.string()).outcome, FolderClaim::Outcome::taken_over);
    ASSERT_EQ(::kill(second, SIGKILL), 0);
    ASSERT_TRUE(wait_until([&] { return !locked_by_someone(log); }));
    const int competitor = ::open(log.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(competitor, LOCK_EX | LOCK_NB), 0);
    (void)third.reap();
    EXPECT_EQ(third.start().outcome, SensorStart::Outcome::claim_lost);
    EXPECT_FALSE(third.running_pid().has_value());
    EXPECT_EQ(third.tracked_children(), 0U) << "nothing started";
    ::close(competitor);

    // A live Brevalt in its record holds the folder; a process that merely
    // holds the lock, or one named by a stale record, is never named.
    const pid_t other_brevalt = ::fork();
    if (other_brevalt == 0) {
        PosixSensor serving(k_standin_dir.string());
        if (claims(serving, work / "served")) ::pause();
        ::_exit(1);
    }
    ASSERT_TRUE(wait_until([&] { return fs::exists(work / "served" / ".brevalt-record"); }));
    PosixSensor fourth((work / "bin").string());
    FolderClaim claim = fourth.claim_folder((work / "served").string());
    EXPECT_EQ(claim.outcome, FolderClaim::Outcome::held_elsewhere);
    ASSERT_TRUE(claim.holder.has_value());
    EXPECT_EQ(claim.holder->pid, other_brevalt);
    EXPECT_EQ(claim.holder->kind, ClaimHolder::Kind::brevalt);
    ::kill(other_brevalt, SIGKILL);
    ::waitpid(other_brevalt, nullptr, 0);
    const int locked = ::open((work / "served").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(locked, LOCK_EX | LOCK_NB), 0);
    const pid_t locker = ::fork();
    if (locker == 0) {
        ::execl("/bin/sleep", "sleep", "30", nullptr);
        ::_exit(127);
    }
    ::close(locked);
    test::write_file(work / "served" / ".brevalt-record",
                     "brevalt " + std::to_string(locker) + " 1 " + read_file("/proc/sys/kernel/random/boot_id"));
    claim = fourth.claim_folder((work / "served").string());
    EXPECT_EQ(claim.outcome, FolderClaim::Outcome::held_by_unknown) << "waited for, not refused";
    EXPECT_FALSE(claim.holder.has_value());
    EXPECT_FALSE(locked_by_someone(work / "bin")) << "a refused Brevalt holds nothing";
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code unreadable;
        EXPECT_NE(fs::read_symlink(entry.path(), unreadable), work / "served") << "nothing of the folder is kept open";
    }
    ::kill(locker, SIGKILL);
    ::waitpid(locker, nullptr, 0);
}

// A stop reaches everything the sensor started: a wrapper that does not
// exec the real sensor takes it along, on a stop, a kill after the grace
// time, and when the wrapper ends by itself; and nothing of the old group
// is left when a rotation renames or a new sensor starts.
void check_stop_reaches_whole_group() {
    TempDir work;
    const fs::path real = place_standin(work / "elsewhere");
    fs::create_directories(work / "bin");
    test::write_file(work / "bin" / "snort", "#!/bin/sh\n" + real.string() + "\necho wrapper done\n");
    fs::permissions(work / "bin" / "snort", fs::perms::owner_all);
    ::setenv("STANDIN_SENSOR_IGNORE_TERM", "1", 1);
    PosixSensor sensor((work / "bin").string());
    ASSERT_TRUE(claims(sensor, work / "log"));
    const auto real_sensor = [&](pid_t group) {
        pid_t found = 0;
        EXPECT_TRUE(wait_until([&] {
            for (const auto& entry : fs::directory_iterator("/proc")) {
                const pid_t pid = std::atoi(entry.path().filename().c_str());
                if (pid > 0 && pid != group && ::getpgid(pid) == group) found = pid;
            }
            return found != 0;
        }));
        return found;
    };
    // Ended members may wait a while for the system to collect them: they
    // hold nothing any more.
    const auto group_gone = [](pid_t group) {
        for (const auto& entry : fs::directory_iterator("/proc")) {
            const pid_t pid = std::atoi(entry.path().filename().c_str());
            if (pid > 0 && ::getpgid(pid) == group && status_of(pid, "State").rfind('Z', 0) != 0) return false;
        }
        return true;
    };

    ASSERT_TRUE(sensor.start().ok());
    pid_t group = *sensor.current_pid();
    pid_t inner = real_sensor(group);
    sensor.stop();
    sensor.ensure_stopped_gone();
    EXPECT_TRUE(group_gone(group)) << "killed, wrapper and sensor, and waited for";
    EXPECT_TRUE(!fs::exists(proc(inner, "")) || status_of(inner, "State").rfind('Z', 0) == 0);

    ASSERT_TRUE(sensor.start().ok());
    group = *sensor.current_pid();
    inner = real_sensor(group);
    ASSERT_EQ(::kill(group, SIGKILL), 0);  // the wrapper alone ends
    ASSERT_TRUE(wait_until([&] { return sensor.reap().has_value(); }));
    ASSERT_TRUE(sensor.start().ok());
    EXPECT_TRUE(group_gone(group)) << "what the ended wrapper left is gone before a new sensor starts";
    sensor.stop();
    sensor.ensure_stopped_gone();
}

TEST_F(SensorTest, StopReachesTheSensorsWholeGroupAndWaitsUntilItIsGone) { check_stop_reaches_whole_group(); }

TEST_F(SensorTest, OnAKernelThatCannotSignalAGroupThroughItsDescriptorTheStopStillReachesIt) {
    g_no_group_signal = true;
    check_stop_reaches_whole_group();
    g_no_group_signal = false;
}

// A member of the sensor's group that has ended and waits to be collected
// by someone else holds nothing: the stopped sensor counts as gone.
TEST_F(SensorTest, EndedMembersWaitingToBeCollectedDoNotKeepAStoppedSensorAlive) {
    TempDir work;
    const fs::path real = place_standin(work / "elsewhere");
    fs::create_directories(work / "bin");
    test::write_file(work / "bin" / "snort", "#!/bin/sh\nsleep 1000 &\nexec " + real.string() + "\n");
    fs::permissions(work / "bin" / "snort", fs::perms::owner_all);
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the ended sleep becomes ours, left uncollected
    PosixSensor sensor((work / "bin").string());
    ASSERT_TRUE(claims(sensor, work / "log"));
    ASSERT_TRUE(sensor.start().ok());
    const pid_t group = *sensor.current_pid();
    ASSERT_TRUE(wait_until([&] { return has_term(group, "SigCgt"); }));
    sensor.stop();
    EXPECT_TRUE(wait_until([&] { return sensor.stopped_gone(); }));
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// Leaves a sensor running on `log`, started by a Brevalt that has ended.
pid_t sensor_of_ended_brevalt(const fs::path& bin, const fs::path& log) {
    int channel[2];
    if (::pipe(channel) != 0) return 0;
    const pid_t brevalt = ::fork();
    if (brevalt == 0) {
        PosixSensor earlier(bin.string());
        pid_t pid = claims(earlier, log) && earlier.start().ok() ? *earlier.current_pid() : 0;
        (void)!::write(channel[1], &pid, sizeof pid);
        ::_exit(0);
    }
    ::close(channel[1]);
    pid_t pid = 0;
    if (::read(channel[0], &pid, sizeof pid) != sizeof pid) pid = 0;
    ::close(channel[0]);
    ::waitpid(brevalt, nullptr, 0);
    return pid;
}

// The folder has no sticky bit: any member may rename any file in it, and
// the logs and the sensor's output are group-writable. A record is believed
// only as its own user alone can have written it, and a sensor entry only
// where it names the leader of a session and group of its own.
TEST_F(SensorTest, RecordIsBelievedOnlyWhereNoOtherMemberCanHavePlantedIt) {
    TempDir work;
    const fs::path bin = work / "bin";
    place_standin(bin);
    const fs::path log = work / "log";
    const fs::path record = log / ".brevalt-record";
    const mode_t mask = ::umask(002);
    const pid_t left = sensor_of_ended_brevalt(bin, log);
    ::umask(mask);
    ASSERT_NE(left, 0);
    EXPECT_EQ(fs::status(record).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
        << "whatever the mask";
    PosixSensor later(bin.string());
    fs::create_hard_link(record, work / "link");
    EXPECT_EQ(later.claim_folder(log.string()).outcome, FolderClaim::Outcome::held_by_unknown) << "two links";
    fs::remove(work / "link");
    fs::permissions(record, fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(later.claim_folder(log.string()).outcome, FolderClaim::Outcome::held_by_unknown) << "group-writable";
    fs::permissions(record, fs::perms::group_write, fs::perm_options::remove);
    ASSERT_EQ(::chown(record.c_str(), 65534, static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(later.claim_folder(log.string()).outcome, FolderClaim::Outcome::held_by_unknown) << "not its user's";
    ASSERT_EQ(::chown(record.c_str(), ::getuid(), static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(later.claim_folder(log.string()).outcome, FolderClaim::Outcome::taken_over);
    EXPECT_EQ(later.running_pid(), left);
    const int folder = ::open(log.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::optional<ReadRecord> read = read_record(folder);
    ASSERT_TRUE(read && read->record.brevalt && read->record.sensor);
    EXPECT_EQ(read->record.brevalt->pid, ::getpid()) << "the take-over is written down";
    EXPECT_EQ(read->record.sensor->pid, left);
    // Replaced, never rewritten in place: a link made to it goes stale.
    fs::create_hard_link(record, work / "link");
    later.stop();
    later.ensure_stopped_gone();
    ASSERT_TRUE(later.start().ok());
    EXPECT_EQ(fs::hard_link_count(record), 1U);
    later.stop();
    later.ensure_stopped_gone();
    ::close(folder);

    // Planted entries: a process in this process's own group, and one that
    // leads its own but with a start time that is not its own.
    const auto sleeper = [](bool own_session) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (own_session) ::setsid();
            ::execl("/bin/sleep", "sleep", "30", nullptr);
            ::_exit(127);
        }
        return pid;
    };
    const pid_t in_our_group = sleeper(false);
    const pid_t leader = sleeper(true);
    ASSERT_TRUE(wait_until([&] { return ::getsid(leader) == leader && read_file(proc(leader, "comm")) == "sleep\n"; }));
    const fs::path planted = work / "planted";
    const auto claim_planted = [&](pid_t pid, std::uint64_t start) {
        fs::create_directories(planted);
        test::write_file(planted / ".brevalt-record", "sensor " + std::to_string(pid) + " " + std::to_string(start) +
                                                         " " + read_file("/proc/sys/kernel/random/boot_id"));
        fs::permissions(planted / ".brevalt-record", fs::perms::owner_read | fs::perms::owner_write);
        PosixSensor brevalt(bin.string());
        return brevalt.claim_folder(planted.string()).outcome;
    };
    EXPECT_EQ(claim_planted(in_our_group, identity_of(in_our_group)->start_ticks), FolderClaim::Outcome::claimed);
    EXPECT_EQ(claim_planted(leader, 0), FolderClaim::Outcome::claimed) << "a stranger with the recorded id";
    EXPECT_EQ(claim_planted(leader, identity_of(leader)->start_ticks), FolderClaim::Outcome::taken_over);
    EXPECT_EQ(child_state(in_our_group).si_pid, 0) << "never signalled";
}

// A log folder that cannot be locked (a network file system may refuse
// locks on folders) is claimed through a file inside it, which only
// operators may open: never the program folder, which every user may lock.
TEST_F(SensorTest, LogFolderThatCannotBeLockedIsClaimedThroughAFileInsideIt) {
    TempDir work;
    fs::create_directories(work / "log");
    place_standin(work / "bin");
    struct stat log_status {};
    ASSERT_EQ(::stat((work / "log").c_str(), &log_status), 0);
    g_unlockable = log_status.st_ino;
    PosixSensor sensor((work / "bin").string());
    const FolderClaim claim = sensor.claim_folder((work / "log").string());
    EXPECT_EQ(claim.outcome, FolderClaim::Outcome::claimed);
    EXPECT_NE(claim.note.find("locks the file"), std::string::npos) << claim.note;
    PosixSensor second((work / "bin").string());
    EXPECT_EQ(second.claim_folder((work / "log").string()).outcome, FolderClaim::Outcome::held_by_unknown);
    EXPECT_EQ(fs::status(work / "log" / ".brevalt-lock").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write)
        << "every operator may open it";
    EXPECT_FALSE(locked_by_someone(work / "bin"));
    ASSERT_TRUE(sensor.start().ok());
    const pid_t pid = *sensor.current_pid();
    EXPECT_TRUE(wait_until([&] { return fs::read_symlink(proc(pid, "fd/3")) == work / "log" / ".brevalt-lock"; }));
    g_unlockable = 0;
}

}  // namespace
}  // namespace brevalt
