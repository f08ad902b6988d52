// The dated logs' keeping on Windows, against real files.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fakes.h"
#include "keeping/win32/background_keeper.h"
#include "keeping/win32/win32_log_folder.h"
#include "sensor/win32/owned_handle.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

using test::utf8;

// Each name in the folder with its content, "<folder>" for a folder.
std::map<std::string, std::string> contents(const fs::path& folder) {
    std::map<std::string, std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        found[utf8(entry.path().filename())] = entry.is_directory() ? "<folder>" : test::read_file(entry.path());
    return found;
}

// Months of rotations, in a folder whose name no ANSI code page holds, among
// names that only look like dated logs.
fs::path seed_logs(const test::TempDir& dir) {
    const fs::path log = dir.path() / u8"ログ";
    fs::create_directories(log / "scan.log.20200101");
    for (const char* name : {"alert.ids.20251231", "alert.ids.20260101", "alert.ids.20260102", "alert.ids.20260228",
                             "alert.ids.20260301", "scan.log.20251230", "scan.log.20260101", "scan.log.20260301",
                             "scan.log.20260302", "alert.ids.20260230", "alert.ids", "scan.log", "notes.txt"}) {
        test::write_file(log / name, name);
        fs::last_write_time(log / name, fs::file_time_type::clock::now() - std::chrono::hours(24));
    }
    return log;
}

// Wine's file systems cannot compress, NTFS can: either way every log left
// reads as before, and a stopped pass compresses nothing.
TEST(Win32KeepingTest, KeepsTheNewestDatesOfEachLogAndLeavesEverythingElseReadable) {
    test::TempDir dir;
    const fs::path log = seed_logs(dir);
    auto expected = contents(log);
    for (const char* gone : {"alert.ids.20251231", "alert.ids.20260101", "scan.log.20251230"}) expected.erase(gone);
    Win32LogFolder folder_ops;
    const std::atomic<bool> stop{false};
    const KeepReport kept = keep_logs(folder_ops, utf8(log), {3, false}, stop);
    EXPECT_TRUE(kept.listing.ok() && kept.failures.empty());
    EXPECT_EQ(contents(log), expected);

    const std::atomic<bool> stopped{true};
    EXPECT_EQ(folder_ops.compress(utf8(log), "alert.ids.20260301", false, stopped).outcome, LogFolder::Compressed::stopped);
    EXPECT_EQ(folder_ops.compress(utf8(log), "scan.log.20200101", false, stop).outcome, LogFolder::Compressed::failed);
    const KeepReport compressed = keep_logs(folder_ops, utf8(log), {0, true}, stop);
    EXPECT_TRUE(compressed.failures.empty());
    EXPECT_EQ(compressed.compressed, compressed.volume_cannot_compress ? 0u : 6u);
    EXPECT_EQ(contents(log), expected);
}

// A reader sharing the log (a forwarder) does not keep it from being
// compressed; a program writing to it does, until a later pass.
TEST(Win32KeepingTest, LogInUseByAWriterIsLeftForALaterPass) {
    test::TempDir dir;
    test::write_file(dir.path() / "alert.ids.20260101", "alerts\n");
    const auto open_log = [&](DWORD access) {
        return win32::OwnedHandle(::CreateFileW((dir.path() / "alert.ids.20260101").c_str(), access,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    };
    Win32LogFolder folder_ops;
    const std::atomic<bool> stop{false};
    {
        const win32::OwnedHandle writer = open_log(GENERIC_WRITE);
        ASSERT_TRUE(writer);
        EXPECT_EQ(folder_ops.compress(utf8(dir.path()), "alert.ids.20260101", false, stop).outcome,
                  LogFolder::Compressed::in_use);
    }
    const win32::OwnedHandle reader = open_log(GENERIC_READ);
    ASSERT_TRUE(reader);
    const auto outcome = folder_ops.compress(utf8(dir.path()), "alert.ids.20260101", false, stop).outcome;
    EXPECT_TRUE(outcome == LogFolder::Compressed::done || outcome == LogFolder::Compressed::volume_cannot);
}

// Holds every listing until let go, so that passes asked for meanwhile pile
// up behind the first.
struct HeldFolder final : LogFolder {
    SysResult list(const std::string& folder, std::vector<FolderEntry>& entries) override {
        listed.push_back(folder);
        thread = ::GetCurrentThreadId();
        ::SetEvent(entered.get());
        ::WaitForSingleObject(released.get(), INFINITE);
        return files.list(folder, entries);
    }
    SysResult remove(const std::string& folder, const std::string& name) override { return files.remove(folder, name); }
    CompressResult compress(const std::string&, const std::string&, bool, const std::atomic<bool>&) override {
        return {};
    }
    SysResult mark(const std::string&, const std::string&) override { return {}; }
    int local_date() override { return files.local_date(); }

    Win32LogFolder files;
    win32::OwnedHandle entered{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    win32::OwnedHandle released{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::vector<std::string> listed;
    DWORD thread = 0;
};

TEST(Win32KeepingTest, KeeperRunsOnItsOwnThreadOnePassAfterAnotherWithTheNewestRequest) {
    test::TempDir dir;
    const fs::path log = seed_logs(dir);
    HeldFolder held;
    BackgroundKeeper keeper(held);
    keeper.tidy(utf8(dir.path()), {1, false}, {});
    ASSERT_EQ(::WaitForSingleObject(held.entered.get(), 10000), WAIT_OBJECT_0);
    EXPECT_NE(held.thread, ::GetCurrentThreadId());
    keeper.tidy(utf8(log), {4, false}, {});
    keeper.tidy(utf8(log), {1, false}, {});
    ::SetEvent(held.released.get());

    std::vector<KeepReport> reports;
    for (int wait = 0; wait < 1000 && reports.size() < 2; ++wait, ::Sleep(10))
        for (KeepReport& report : keeper.take_reports()) reports.push_back(std::move(report));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].deleted, 7u);
    EXPECT_EQ(held.listed, (std::vector<std::string>{utf8(dir.path()), utf8(log)}));

    keeper.stop();  // and no pass runs after it
    keeper.tidy(utf8(log), {0, true}, {});
    keeper.stop();
    EXPECT_TRUE(keeper.take_reports().empty());
    EXPECT_EQ(held.listed.size(), 2u);
}

}  // namespace
}  // namespace brevalt
