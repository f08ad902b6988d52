// Keeping the dated logs on a real folder: what a pass deletes, what it
// compresses and how, and a stop in the middle of a large log.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fakes.h"
#include "keeping/posix/background_keeper.h"
#include "keeping/posix/posix_log_folder.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::read_file;
using test::write_file;
using namespace std::chrono_literals;

const std::atomic<bool> k_never_stop{false};

// Called by the compression right after its copy is renamed into place.
std::function<void()> g_after_rename;

std::set<std::string> names_in(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// What zcat would print, or a marker when the file is no gzip stream.
std::string gunzip(const fs::path& path) {
    gzFile file = ::gzopen(path.c_str(), "rb");
    if (file == nullptr) return "<unreadable>";
    std::string text;
    std::vector<char> piece(1 << 16);
    int got = 0;
    while ((got = ::gzread(file, piece.data(), static_cast<unsigned>(piece.size()))) > 0) text.append(piece.data(), got);
    const bool plain = ::gzdirect(file) == 1;
    ::gzclose(file);
    return plain || got < 0 ? "<not gzip>" : text;
}

// A log the sensor finished with a day ago: quiet enough to compress.
void write_quiet(const fs::path& path, const std::string& bytes) {
    write_file(path, bytes);
    fs::last_write_time(path, fs::file_time_type::clock::now() - 24h);
}

std::string gzipped(const std::string& text, const char* mode = "wb9") {
    TempDir dir;
    gzFile file = ::gzopen((dir / "x.gz").c_str(), mode);
    ::gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    ::gzclose(file);
    return read_file(dir / "x.gz");
}

// Lines of varied numbers: compresses about as slowly as a real alert log.
std::string noisy_log(std::size_t size) {
    std::mt19937 random(7);
    std::string log;
    while (log.size() < size) {
        log += std::to_string(random() % 86400000) + " [**] ET SCAN [**] {TCP} 10.0." + std::to_string(random() % 256) +
               ".9:" + std::to_string(random() % 65536) + " -> 192.168.0.1:" + std::to_string(random() % 1024) + '\n';
    }
    return log;
}

// The real folder on a clock of the test's choosing.
class FolderOnDate final : public LogFolder {
public:
    explicit FolderOnDate(int date) : date(date) {}
    SysResult list(const std::string& folder, std::vector<FolderEntry>& entries) override {
        return real.list(folder, entries);
    }
    SysResult remove(const std::string& folder, const std::string& name) override { return real.remove(folder, name); }
    CompressResult compress(const std::string& folder, const std::string& name, bool settled,
                            const std::atomic<bool>& stop) override {
        return real.compress(folder, name, settled, stop);
    }
    SysResult mark(const std::string& folder, const std::string& name) override { return real.mark(folder, name); }
    int local_date() override { return date; }

    PosixLogFolder real;
    int date;
};

void write_pair(const fs::path& dir, const std::string& date) {
    write_quiet(dir / ("alert.ids." + date), "alerts of " + date + '\n');
    write_quiet(dir / ("scan.log." + date), "scans of " + date + '\n');
}

TEST(PosixLogFolder, PassKeepsNewestDatesTouchesNothingElseAndCompressesKeptLogsWhole) {
    TempDir dir;
    TempDir outside;
    const std::string folder = dir.path().string();
    const std::vector<std::string> kept = {"alert.ids.20260102", "alert.ids.20260103.gz", "alert.ids.20260104",
                                           "scan.log.20260103", "scan.log.20260104"};
    const std::vector<std::string> untouched = {"alert.ids", "scan.log", "notes.txt", "alert.ids.20260230",
                                                "scan.log.20260104.bak"};
    for (const auto& names : {kept, untouched}) {
        for (const std::string& name : names) write_quiet(dir / name, "line of " + name + '\n');
    }
    for (const char* old : {"alert.ids.20251230", "alert.ids.20251231.gz", "alert.ids.20260101", "scan.log.20260101",
                            "scan.log.20260102"}) {
        write_file(dir / old, "old\n");
    }
    // Written a moment ago: left for a later pass.
    write_file(dir / "scan.log.20260104", "line of scan.log.20260104\n");
    fs::create_directory(dir / "scan.log.20250101");
    write_file(dir / "scan.log.20250101" / "inside", "kept\n");
    write_file(outside / "target", "not a log\n");
    fs::create_symlink(outside / "target", dir / "alert.ids.20250102");
    fs::create_symlink(outside / "target", dir / "scan.log.20260105");

    const fs::path shaped = dir / "alert.ids.20260102";
    // Only root may give a file a group it is not in.
    const gid_t group = ::geteuid() == 0 ? 4242 : ::getegid();
    ASSERT_EQ(::chown(shaped.c_str(), static_cast<uid_t>(-1), group), 0);
    // No set-user-ID, set-group-ID or sticky bit reaches the copy, which
    // belongs to whoever compressed it.
    ASSERT_EQ(::chmod(shaped.c_str(), 07640), 0);
    const auto written = fs::file_time_type::clock::now() - 72h;
    fs::last_write_time(shaped, written);

    PosixLogFolder folder_ops;
    const KeepReport deleted = keep_logs(folder_ops, folder, {3, false}, k_never_stop);
    EXPECT_EQ(deleted.deleted, 6u);
    EXPECT_TRUE(deleted.failures.empty());
    std::set<std::string> left(kept.begin(), kept.end());
    left.insert(untouched.begin(), untouched.end());
    left.insert({"scan.log.20250101", "scan.log.20260105"});
    EXPECT_EQ(names_in(dir.path()), left);
    for (const auto& names : {kept, untouched}) {
        for (const std::string& name : names) EXPECT_EQ(read_file(dir / name), "line of " + name + '\n') << name;
    }
    EXPECT_EQ(read_file(dir / "scan.log.20250101" / "inside"), "kept\n");
    EXPECT_EQ(read_file(outside / "target"), "not a log\n");

    const KeepReport compressed = keep_logs(folder_ops, folder, {3, true}, k_never_stop);
    EXPECT_EQ(compressed.compressed, 3u);
    EXPECT_TRUE(compressed.failures.empty());
    for (const std::string& name : kept) {
        if (name.ends_with(".gz") || name == "scan.log.20260104") continue;
        left.erase(name);
        left.insert(name + ".gz");
        EXPECT_EQ(gunzip(dir / (name + ".gz")), "line of " + name + '\n') << name;
    }
    EXPECT_EQ(names_in(dir.path()), left);
    EXPECT_EQ(read_file(dir / "alert.ids.20260103.gz"), "line of alert.ids.20260103.gz\n");
    EXPECT_TRUE(fs::is_symlink(dir / "scan.log.20260105"));
    // Even asked directly, as a link swapped in after the listing would be.
    EXPECT_EQ(folder_ops.compress(folder, "scan.log.20260105", true, k_never_stop).outcome, LogFolder::Compressed::failed);
    EXPECT_FALSE(fs::exists(dir / "scan.log.20260105.gz"));

    struct stat st {};
    ASSERT_EQ(::stat((dir / "alert.ids.20260102.gz").c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(fs::last_write_time(dir / "alert.ids.20260102.gz"), written);
}

// A ".gz" beside its original is replaced only when it holds that very log
// (a pass cut short after its rename); any other stays, and so does the log.
TEST(PosixLogFolder, ExistingGzIsReplacedOnlyByACopyOfItsOriginal) {
    TempDir dir;
    write_quiet(dir / "alert.ids.20260101", "whole log\n");
    write_file(dir / "alert.ids.20260101.gz.partial", "half a cop");
    write_file(dir / "alert.ids.20260101.gz", gzipped("whole log\n", "wb1"));
    write_file(dir / "scan.log.20260101.gz.partial", "half a cop");
    const std::string first_alerts = gzipped("first rotation\n");
    for (const char* name : {"alert.ids.20260102", "alert.ids.20260103"}) {
        write_quiet(dir / name, "other rotation\n");  // the same length: only the CRC tells
        write_file(dir / (std::string(name) + ".gz"), first_alerts);
    }
    write_quiet(dir / "alert.ids.20260103", "second rotation, longer\n");

    PosixLogFolder folder_ops;
    const KeepReport report = keep_logs(folder_ops, dir.path().string(), {0, true}, k_never_stop);
    EXPECT_EQ(report.compressed, 1u);
    EXPECT_EQ(report.gz_differs, (std::vector<std::string>{"alert.ids.20260102", "alert.ids.20260103"}));
    EXPECT_EQ(names_in(dir.path()),
              (std::set<std::string>{"alert.ids.20260101.gz", "alert.ids.20260102", "alert.ids.20260102.gz",
                                     "alert.ids.20260103", "alert.ids.20260103.gz"}));
    EXPECT_EQ(gunzip(dir / "alert.ids.20260101.gz"), "whole log\n");
    EXPECT_EQ(gunzip(dir / "alert.ids.20260102.gz"), "first rotation\n");
    EXPECT_EQ(gunzip(dir / "alert.ids.20260103.gz"), "first rotation\n");
}

// A clock a year behind for two days: the rotations name their logs as the
// oldest in the folder, and nothing at all is deleted while names newer
// than the rotation's date are there, nor at a start on that clock. Once
// the clock is right again, keep deletes by the dates, and says which.
TEST(PosixLogFolder, ClockBehindForTwoDaysCostsNoLog) {
    TempDir dir;
    const std::string folder = dir.path().string();
    for (const char* date : {"20261203", "20261204", "20261205", "20261206", "20261207"}) write_pair(dir.path(), date);
    const std::set<std::string> before = names_in(dir.path());
    const KeepSettings keep3{3, false};
    for (const char* date : {"20251208", "20251209"}) {
        FolderOnDate behind(std::stoi(date));
        write_pair(dir.path(), date);
        const std::vector<std::string> rotated = {std::string("alert.ids.") + date, std::string("scan.log.") + date};
        EXPECT_TRUE(mark_rotation(behind, folder, keep3, rotated).empty());
        const KeepReport rotation = keep_logs(behind, folder, keep3, k_never_stop, rotated);
        EXPECT_EQ(rotation.deleted, 0u) << date;
        EXPECT_EQ(rotation.reference_date, std::stoi(date));
        EXPECT_EQ(rotation.future.size(), 10u);
        EXPECT_EQ(rotation.rotated_behind, rotated[0]);
        EXPECT_EQ(keep_logs(behind, folder, keep3, k_never_stop).deleted, 0u) << "a start on that clock";
    }
    std::set<std::string> all = before;
    all.insert({"alert.ids.20251208", "scan.log.20251208", "alert.ids.20251209", "scan.log.20251209",
                ".latest-rotation.alert.ids.20251209", ".latest-rotation.scan.log.20251209"});
    EXPECT_EQ(names_in(dir.path()), all);

    FolderOnDate right(20261210);
    const KeepReport restarted = keep_logs(right, folder, keep3, k_never_stop);
    EXPECT_TRUE(restarted.future.empty());
    EXPECT_EQ(restarted.deleted_dates, (std::vector<int>{20251208, 20261203, 20261204}));
    EXPECT_TRUE(fs::exists(dir / "alert.ids.20251209")) << "the latest rotation's, by its marks";
}

// One pair of names dated 2099 with a correct clock: every day's log stays,
// and the pass says which names stand in the future.
TEST(PosixLogFolder, FutureDatedNamesStopEveryDeletion) {
    TempDir dir;
    const std::string folder = dir.path().string();
    for (const char* date : {"20261205", "20261206", "20261207", "20990101"}) write_pair(dir.path(), date);
    FolderOnDate today(20261208);
    write_pair(dir.path(), "20261208");
    const std::vector<std::string> rotated = {"alert.ids.20261208", "scan.log.20261208"};
    for (const KeepReport& report : {keep_logs(today, folder, {2, false}, k_never_stop, rotated),
                                     keep_logs(today, folder, {2, false}, k_never_stop)}) {
        EXPECT_EQ(report.deleted, 0u);
        EXPECT_EQ(report.future, (std::vector<std::string>{"alert.ids.20990101", "scan.log.20990101"}));
        EXPECT_EQ(report.reference_date, 20261208);
    }
    fs::remove(dir / "alert.ids.20990101");
    fs::remove(dir / "scan.log.20990101");
    EXPECT_EQ(keep_logs(today, folder, {2, false}, k_never_stop).deleted_dates,
              (std::vector<int>{20261205, 20261206}));
}

// A rotation's own logs wait for a later pass, however long they were
// quiet before it: a writer its stop did not reach may still hold them.
TEST(PosixLogFolder, RotationsOwnLogsAreNotCompressedByItsPass) {
    TempDir dir;
    write_pair(dir.path(), "20261208");
    FolderOnDate today(20261208);
    const std::vector<std::string> rotated = {"alert.ids.20261208", "scan.log.20261208"};
    EXPECT_EQ(keep_logs(today, dir.path().string(), {0, true}, k_never_stop, rotated).compressed, 0u);
    EXPECT_EQ(keep_logs(today, dir.path().string(), {0, true}, k_never_stop).compressed, 2u);
}

// Another operator's log: the kernel grants no lease to a user who does
// not own it, so a writer holding it open cannot be seen. Only a log quiet
// for a day after its rotation's day is compressed then; the others wait,
// whole, and the reason is the owner, not another program.
TEST(PosixLogFolder, WithoutALeaseOnlyASettledLogIsCompressed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    TempDir dir;
    constexpr uid_t k_other = 65534;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    write_pair(dir.path(), "20261207");  // a day old, not yet settled
    write_quiet(dir / "alert.ids.20261201", "a week ago\n");
    fs::last_write_time(dir / "alert.ids.20261201", fs::file_time_type::clock::now() - 48h);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        ASSERT_EQ(::chown(entry.path().c_str(), 0, k_other), 0);
        ASSERT_EQ(::chmod(entry.path().c_str(), 0664), 0);
    }
    const int writer = ::open((dir / "alert.ids.20261207").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    int report_pipe[2];
    ASSERT_EQ(::pipe(report_pipe), 0);
    const pid_t second = ::fork();
    if (second == 0) {
        if (::setresgid(k_other, k_other, k_other) != 0 || ::setresuid(k_other, k_other, k_other) != 0) ::_exit(2);
        FolderOnDate today(20261208);
        const KeepReport report = keep_logs(today, dir.path().string(), {0, true}, k_never_stop);
        std::string told = std::to_string(report.compressed) + " " + std::to_string(report.waiting.size()) + " " +
                           std::to_string(static_cast<int>(report.waiting_blind));
        static_cast<void>(::write(report_pipe[1], told.data(), told.size()));
        ::_exit(0);
    }
    ::close(report_pipe[1]);
    char told[64] = {};
    const ssize_t got = ::read(report_pipe[0], told, sizeof told - 1);
    ::close(report_pipe[0]);
    int status = 0;
    ::waitpid(second, &status, 0);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(told), "1 2 " + std::to_string(static_cast<int>(LogFolder::Blind::not_owner)));
    ASSERT_EQ(::write(writer, "late\n", 5), 5);
    ::close(writer);
    EXPECT_EQ(read_file(dir / "alert.ids.20261207"), "alerts of 20261207\nlate\n");
    EXPECT_EQ(gunzip(dir / "alert.ids.20261201.gz"), "a week ago\n");
}

// Pipes named like a compression's partial file and like a mark: the pass
// and the rotation's record fail at once instead of waiting for a reader,
// the earlier record stays, and the original is whole.
TEST(PosixLogFolder, PipesInTheFolderBlockNothing) {
    TempDir dir;
    const std::string folder = dir.path().string();
    write_quiet(dir / "alert.ids.20261201", "alerts\n");
    write_file(dir / ".latest-rotation.alert.ids.20261207", "");
    ASSERT_EQ(::mkfifo((dir / "alert.ids.20261201.gz.partial").c_str(), 0660), 0);
    ASSERT_EQ(::mkfifo((dir / ".latest-rotation.alert.ids.20261208").c_str(), 0660), 0);
    FolderOnDate today(20261208);
    const auto failures = mark_rotation(today, folder, {3, true}, {"alert.ids.20261208"});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].name, ".latest-rotation.alert.ids.20261208");
    EXPECT_TRUE(fs::exists(dir / ".latest-rotation.alert.ids.20261207"));
    const KeepReport report = keep_logs(today, folder, {3, true}, k_never_stop);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].name, "alert.ids.20261201");
    EXPECT_EQ(read_file(dir / "alert.ids.20261201"), "alerts\n");
}

// A compression never takes the sensor's room: a log larger than the free
// space is left as it is, with the figures to tell.
TEST(PosixLogFolder, LogIsLeftAsItIsWhereItsCopyWouldFillTheDisk) {
    TempDir dir;
    const fs::path log = dir / "alert.ids.20261201";
    write_quiet(log, "");
    const auto free_now = fs::space(dir.path()).available;
    fs::resize_file(log, free_now);  // sparse: it takes no room itself
    fs::last_write_time(log, fs::file_time_type::clock::now() - 48h);
    FolderOnDate today(20261208);
    const KeepReport report = keep_logs(today, dir.path().string(), {0, true}, k_never_stop);
    EXPECT_EQ(report.no_room, "alert.ids.20261201");
    EXPECT_EQ(report.no_room_size_bytes, free_now);
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20261201"});
}

// Lines written to a dated log while it is compressed stay in the folder:
// the log is left whole, told, and compressed at a later pass.
TEST(PosixLogFolder, LogWrittenToWhileCompressedStaysWhole) {
    TempDir dir;
    const fs::path original = dir / "alert.ids.20260101";
    std::string log = noisy_log(std::size_t{32} << 20);
    write_quiet(original, log);
    PosixLogFolder folder_ops;
    std::thread writer([&] {
        while (!fs::exists(dir / "alert.ids.20260101.gz.partial")) std::this_thread::sleep_for(1ms);
        std::FILE* file = std::fopen(original.c_str(), "ab");
        std::fputs("a late alert\n", file);
        std::fclose(file);
    });
    const KeepReport report = keep_logs(folder_ops, dir.path().string(), {0, true}, k_never_stop);
    writer.join();
    EXPECT_EQ(report.in_use, std::vector<std::string>{"alert.ids.20260101"});
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20260101"});
    EXPECT_TRUE(read_file(original) == log + "a late alert\n");
}

// A writer that holds a dated log open (a sensor that outlived its stop)
// may write at any time, so the log is not compressed while it is open;
// a reader holding it open changes nothing.
TEST(PosixLogFolder, LogHeldOpenForWritingIsLeftUntilLetGo) {
    TempDir dir;
    const fs::path original = dir / "alert.ids.20260101";
    write_quiet(original, "alerts\n");
    const int reader = ::open(original.c_str(), O_RDONLY | O_CLOEXEC);
    const int writer = ::open(original.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_TRUE(reader >= 0 && writer >= 0);
    PosixLogFolder folder_ops;
    const KeepReport held = keep_logs(folder_ops, dir.path().string(), {0, true}, k_never_stop);
    EXPECT_EQ(held.in_use, std::vector<std::string>{"alert.ids.20260101"});
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20260101"});
    ASSERT_EQ(::write(writer, "late\n", 5), 5);
    ::close(writer);

    fs::last_write_time(original, fs::file_time_type::clock::now() - 24h);
    const KeepReport let_go = keep_logs(folder_ops, dir.path().string(), {0, true}, k_never_stop);
    ::close(reader);
    EXPECT_TRUE(let_go.in_use.empty());
    EXPECT_EQ(gunzip(dir / "alert.ids.20260101.gz"), "alerts\nlate\n");
}

// The last look before the original goes, after its copy is renamed into
// place: a name that became another file meanwhile, or a writer waiting to
// open the log, keeps the original and takes the copy away. What the test
// does at that moment is done right after the rename, every time.
TEST(PosixLogFolder, LogChangedAfterItsCopyIsInPlaceIsNotRemoved) {
    for (const bool other_file : {true, false}) {
        SCOPED_TRACE(other_file ? "another file under the name" : "a writer waiting to open it");
        TempDir dir;
        const fs::path original = dir / "alert.ids.20260101";
        write_quiet(original, "alerts\n");
        g_after_rename = [&] {
            if (other_file) {
                write_file(dir / "new", "fresh alerts\n");
                fs::rename(dir / "new", original);
            } else {
                // Refused at once while the lease stands, the open asks the
                // kernel to end it, as a writer's open does.
                EXPECT_LT(::open(original.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC), 0);
            }
        };
        PosixLogFolder folder_ops;
        const KeepReport report = keep_logs(folder_ops, dir.path().string(), {0, true}, k_never_stop);
        g_after_rename = nullptr;
        EXPECT_EQ(report.in_use, std::vector<std::string>{"alert.ids.20260101"});
        EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20260101"});
        EXPECT_EQ(read_file(original), other_file ? "fresh alerts\n" : "alerts\n");
    }
}

// A stop between two logs ends the pass before the next one starts.
TEST(KeepLogs, StopIsHeardBetweenTwoCompressions) {
    class StopsAfterOne final : public LogFolder {
    public:
        explicit StopsAfterOne(std::atomic<bool>& stop) : stop_(stop) {}
        SysResult list(const std::string&, std::vector<FolderEntry>& entries) override {
            entries = {{"alert.ids.20260101", FolderEntry::Kind::file, false, 86400},
                       {"alert.ids.20260102", FolderEntry::Kind::file, false, 86400}};
            return {};
        }
        SysResult remove(const std::string&, const std::string&) override { return {}; }
        SysResult mark(const std::string&, const std::string&) override { return {}; }
        int local_date() override { return 20260110; }
        CompressResult compress(const std::string&, const std::string&, bool, const std::atomic<bool>&) override {
            ++compressions;
            stop_ = true;
            return {Compressed::done, {}};
        }
        int compressions = 0;

    private:
        std::atomic<bool>& stop_;
    };
    std::atomic<bool> stop{false};
    StopsAfterOne folder_ops(stop);
    EXPECT_EQ(keep_logs(folder_ops, "log", {0, true}, stop).compressed, 1u);
    EXPECT_EQ(folder_ops.compressions, 1);
}

// A worker held up inside a call (a hung network mount) does not hold up
// the exit: stop() gives up waiting, and the worker ends by itself later.
TEST(BackgroundKeeper, StopReturnsWhileTheWorkerIsHeldUp) {
    struct HeldUp final : LogFolder {
        SysResult list(const std::string&, std::vector<FolderEntry>&) override {
            std::unique_lock lock(mutex);
            entered = true;
            entered_signal.notify_all();
            released_signal.wait(lock, [this] { return released; });
            return {};
        }
        SysResult remove(const std::string&, const std::string&) override { return {}; }
        CompressResult compress(const std::string&, const std::string&, bool, const std::atomic<bool>&) override {
            return {};
        }
        SysResult mark(const std::string&, const std::string&) override { return {}; }
        int local_date() override { return 20261208; }
        std::mutex mutex;
        std::condition_variable entered_signal;
        std::condition_variable released_signal;
        bool entered = false;
        bool released = false;
    };
    // Outlives the test: the worker may still use it after the test ends.
    static HeldUp held;
    {
        BackgroundKeeper keeper(held);
        keeper.tidy("log", {0, true}, {});
        {
            std::unique_lock lock(held.mutex);
            held.entered_signal.wait(lock, [] { return held.entered; });
        }
        keeper.stop();
    }
    const std::lock_guard lock(held.mutex);
    held.released = true;
    held.released_signal.notify_all();
}

TEST(BackgroundKeeper, StopDuringCompressionLeavesOriginalWholeAndLaterPassFinishesIt) {
    TempDir dir;
    const std::string log = noisy_log(std::size_t{64} << 20);
    const fs::path original = dir / "alert.ids.20260101";
    const fs::path partial = dir / "alert.ids.20260101.gz.partial";
    const fs::path gzipped = dir / "alert.ids.20260101.gz";
    write_quiet(original, log);
    PosixLogFolder folder_ops;
    {
        BackgroundKeeper keeper(folder_ops);
        keeper.tidy(dir.path().string(), {0, true}, {});
        while (!fs::exists(partial) && !fs::exists(gzipped)) std::this_thread::sleep_for(1ms);
        keeper.stop();
        ASSERT_FALSE(fs::exists(gzipped)) << "finished before it could be stopped";
        EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20260101"});
        EXPECT_TRUE(read_file(original) == log);
        EXPECT_EQ(keeper.take_reports().at(0).compressed, 0u);
    }

    BackgroundKeeper keeper(folder_ops);
    keeper.tidy(dir.path().string(), {0, true}, {});
    std::vector<KeepReport> reports;
    while (reports.empty()) {
        std::this_thread::sleep_for(10ms);
        reports = keeper.take_reports();
    }
    EXPECT_EQ(reports.at(0).compressed, 1u);
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20260101.gz"});
    EXPECT_TRUE(gunzip(gzipped) == log);
}

}  // namespace
}  // namespace brevalt

// The compression's rename, done, then the test's moment after it.
extern "C" int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) noexcept {
    const long renamed = ::syscall(SYS_renameat2, from_dir, from, to_dir, to, flags);
    const int error = errno;
    if (renamed == 0 && brevalt::g_after_rename) brevalt::g_after_rename();
    errno = error;
    return static_cast<int>(renamed);
}
