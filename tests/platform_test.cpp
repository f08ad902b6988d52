#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/system_platform.h"
#include "fakes.h"

// The file system's answers that this machine cannot give on demand (a file
// system without RENAME_NOREPLACE or without hard links, an unlink that
// fails), made by standing in for the C library's functions: the platform
// layer's calls bind to these definitions in this program.
namespace {
int g_renameat2_error = 0;
int g_link_error = 0;
std::string g_unlink_refused;
}  // namespace

extern "C" int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) noexcept {
    if (g_renameat2_error != 0) return errno = g_renameat2_error, -1;
    return static_cast<int>(::syscall(SYS_renameat2, from_dir, from, to_dir, to, flags));
}
extern "C" int link(const char* from, const char* to) noexcept {
    if (g_link_error != 0) return errno = g_link_error, -1;
    return static_cast<int>(::syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
}
extern "C" int unlink(const char* path) noexcept {
    if (path == g_unlink_refused) return errno = EACCES, -1;
    return static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

namespace brevalt {
namespace {

namespace fs = std::filesystem;

// Dated names are made of this: a month off by one would name logs 20270001.
TEST(SystemPlatform, NowIsTheLocalCalendarDateAndTime) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    using namespace std::chrono;
    // time() reads the kernel's coarse clock, which turns to the next second
    // up to a scheduler tick after system_clock does: a second of slack.
    const auto before = floor<seconds>(system_clock::now()) - seconds{1};
    const LocalTime t = SystemPlatform().now();
    const auto after = system_clock::now();
    const sys_days day{year{t.year} / t.month / t.day};
    const auto read = day + hours{t.hour} + minutes{t.minute} + seconds{t.second};
    EXPECT_TRUE(year_month_day{day}.ok());
    EXPECT_TRUE(read >= before && read <= after) << t.year << "-" << t.month << "-" << t.day;
}

// The rotation's 8-second wait must be that long, not ten times it.
TEST(SystemPlatform, SleepLastsTheTimeAsked) {
    const auto start = std::chrono::steady_clock::now();
    SystemPlatform().sleep_ms(300);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(2900));
}

enum class FileSystem { no_replace_flag, no_flag, no_flag_no_hard_links };
std::string file_system_name(const ::testing::TestParamInfo<FileSystem>& info) {
    constexpr const char* names[] = {"WithTheNoReplaceFlag", "WithoutIt", "WithoutHardLinksEither"};
    return names[static_cast<int>(info.param)];
}

// Whatever the file system offers, a log moves to a free dated name and
// never over one that is taken.
class NoReplaceRename : public ::testing::TestWithParam<FileSystem> {
protected:
    void SetUp() override {
        g_renameat2_error = GetParam() == FileSystem::no_replace_flag ? 0 : EINVAL;
        g_link_error = GetParam() == FileSystem::no_flag_no_hard_links ? EPERM : 0;
    }
    void TearDown() override { g_renameat2_error = g_link_error = 0; }
    test::TempDir dir;
};

TEST_P(NoReplaceRename, MovesToAFreeNameAndNeverOverATakenOne) {
    const std::string from = (dir / "alert.ids").string(), to = from + ".20261206";
    test::write_file(from, "today");
    ASSERT_TRUE(SystemPlatform{}.rename_no_replace(from, to).ok());
    EXPECT_FALSE(fs::exists(from));
    test::write_file(from, "new");
    EXPECT_EQ(SystemPlatform{}.rename_no_replace(from, to).error, EEXIST);
    EXPECT_EQ(test::read_file(from), "new");
    EXPECT_EQ(test::read_file(to), "today");
}

INSTANTIATE_TEST_SUITE_P(FileSystems, NoReplaceRename,
                         ::testing::Values(FileSystem::no_replace_flag, FileSystem::no_flag,
                                           FileSystem::no_flag_no_hard_links),
                         file_system_name);

// With two names, the restarted sensor would append to the dated one.
TEST(RenameByLink, UnlinkFailureTakesTheNewNameBack) {
    test::TempDir dir;
    test::write_file(dir / "scan.log", "today");
    g_renameat2_error = EINVAL;
    g_unlink_refused = (dir / "scan.log").string();
    const SysResult result = SystemPlatform{}.rename_no_replace(g_unlink_refused, (dir / "scan.log.20261206").string());
    g_renameat2_error = 0;
    g_unlink_refused.clear();
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(test::read_file(dir / "scan.log"), "today");
    EXPECT_FALSE(fs::exists(dir / "scan.log.20261206"));
}

}  // namespace
}  // namespace brevalt
