// Keeping the dated logs on a real folder: what a pass deletes, what it
// compresses and how, and a stop in the middle of a large log.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
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
    ASSERT_EQ(::chmod(shaped.c_str(), 0640), 0);
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
    EXPECT_EQ(folder_ops.compress(folder, "scan.log.20260105", k_never_stop).outcome, LogFolder::Compressed::failed);
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

// A pass after a rotation under a clock a year behind: the logs just rotated
// carry the oldest date, and are kept all the same, after a restart too,
// until a later rotation takes their place.
TEST(PosixLogFolder, LatestRotationIsNeverDeletedWhateverItsDate) {
    TempDir dir;
    const std::string folder = dir.path().string();
    for (const char* date : {"20261203", "20261204", "20261205", "20261206", "20251207"}) {
        write_quiet(dir / (std::string("alert.ids.") + date), "alerts\n");
        write_quiet(dir / (std::string("scan.log.") + date), "scans\n");
    }
    PosixLogFolder folder_ops;
    const std::vector<std::string> rotated = {"alert.ids.20251207", "scan.log.20251207"};
    const KeepReport behind = keep_logs(folder_ops, folder, {3, false}, k_never_stop, rotated);
    EXPECT_EQ(behind.deleted, 2u);
    EXPECT_EQ(behind.rotated_behind, "alert.ids.20251207");
    EXPECT_EQ(behind.newer_in_folder, "alert.ids.20261206");
    EXPECT_EQ(behind.oldest_alert_date_kept, 20251207);

    write_quiet(dir / "alert.ids.20261202", "alerts\n");
    const KeepReport restarted = keep_logs(folder_ops, folder, {3, false}, k_never_stop);
    EXPECT_EQ(restarted.deleted, 1u);
    EXPECT_TRUE(restarted.rotated_behind.empty());
    EXPECT_TRUE(fs::exists(dir / "alert.ids.20251207") && fs::exists(dir / "scan.log.20251207"));

    write_quiet(dir / "alert.ids.20261207", "alerts\n");
    write_quiet(dir / "scan.log.20261207", "scans\n");
    keep_logs(folder_ops, folder, {3, false}, k_never_stop, {"alert.ids.20261207", "scan.log.20261207"});
    EXPECT_EQ(names_in(dir.path()),
              (std::set<std::string>{"alert.ids.20261205", "alert.ids.20261206", "alert.ids.20261207",
                                     "scan.log.20261205", "scan.log.20261206", "scan.log.20261207",
                                     ".latest-rotation.alert.ids.20261207", ".latest-rotation.scan.log.20261207"}));
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
        CompressResult compress(const std::string&, const std::string&, const std::atomic<bool>&) override {
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
