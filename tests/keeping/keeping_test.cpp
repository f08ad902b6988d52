// Keeping the dated logs on a real folder: what a pass deletes, what it
// compresses and how, and a stop in the middle of a large log.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
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
        for (const std::string& name : names) write_file(dir / name, "line of " + name + '\n');
    }
    for (const char* old : {"alert.ids.20251230", "alert.ids.20251231.gz", "alert.ids.20260101", "scan.log.20260101",
                            "scan.log.20260102"}) {
        write_file(dir / old, "old\n");
    }
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
    EXPECT_EQ(compressed.compressed, 4u);
    EXPECT_TRUE(compressed.failures.empty());
    for (const std::string& name : kept) {
        if (name.ends_with(".gz")) continue;
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

TEST(PosixLogFolder, CompressionCutShortEarlierIsCleanedAndDoneAgain) {
    TempDir dir;
    write_file(dir / "alert.ids.20260101", "whole log\n");
    write_file(dir / "alert.ids.20260101.gz.partial", "half a cop");
    write_file(dir / "alert.ids.20260101.gz", "a copy renamed before its original went");
    write_file(dir / "scan.log.20260101.gz.partial", "half a cop");

    PosixLogFolder folder_ops;
    const KeepReport report = keep_logs(folder_ops, dir.path().string(), {0, true}, k_never_stop);
    EXPECT_EQ(report.compressed, 1u);
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20260101.gz"});
    EXPECT_EQ(gunzip(dir / "alert.ids.20260101.gz"), "whole log\n");
}

TEST(BackgroundKeeper, StopDuringCompressionLeavesOriginalWholeAndLaterPassFinishesIt) {
    TempDir dir;
    const std::string log = noisy_log(std::size_t{64} << 20);
    const fs::path original = dir / "alert.ids.20260101";
    const fs::path partial = dir / "alert.ids.20260101.gz.partial";
    const fs::path gzipped = dir / "alert.ids.20260101.gz";
    write_file(original, log);
    PosixLogFolder folder_ops;
    {
        BackgroundKeeper keeper(folder_ops);
        keeper.tidy(dir.path().string(), {0, true});
        while (!fs::exists(partial) && !fs::exists(gzipped)) std::this_thread::sleep_for(1ms);
        keeper.stop();
        ASSERT_FALSE(fs::exists(gzipped)) << "finished before it could be stopped";
        EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"alert.ids.20260101"});
        EXPECT_TRUE(read_file(original) == log);
        EXPECT_EQ(keeper.take_reports().at(0).compressed, 0u);
    }

    BackgroundKeeper keeper(folder_ops);
    keeper.tidy(dir.path().string(), {0, true});
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
