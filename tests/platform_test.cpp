#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/rename_by_link.h"
#include "platform/system_platform.h"
#include "temp_dir.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

TEST(SystemPlatform, ProgramDirIsTheExecutablesFolderNotTheCurrentOne) {
    test::TempDir elsewhere;
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere.path());
    SystemPlatform platform;
    const ProgramDir dir = platform.program_dir();
    fs::current_path(before);
    ASSERT_TRUE(dir.result.ok());
    EXPECT_EQ(fs::path(dir.path), fs::canonical("/proc/self/exe").parent_path());
}

// Both the flag-based rename and the link fallback must refuse to replace.
class NoReplaceRename : public ::testing::TestWithParam<bool> {
protected:
    SysResult rename(const fs::path& from, const fs::path& to) {
        if (GetParam()) return rename_by_link(from.string(), to.string());
        return SystemPlatform{}.rename_no_replace(from.string(), to.string());
    }
    test::TempDir dir;
};

TEST_P(NoReplaceRename, MovesAFileToAFreeName) {
    test::write_file(dir / "alert.ids", "today");
    ASSERT_TRUE(rename(dir / "alert.ids", dir / "alert.ids.20261206").ok());
    EXPECT_FALSE(fs::exists(dir / "alert.ids"));
    EXPECT_EQ(test::read_file(dir / "alert.ids.20261206"), "today");
}

TEST_P(NoReplaceRename, RefusesAnExistingTargetAndLeavesBoth) {
    test::write_file(dir / "alert.ids", "new");
    test::write_file(dir / "alert.ids.20261206", "kept");
    const SysResult result = rename(dir / "alert.ids", dir / "alert.ids.20261206");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, EEXIST);
    EXPECT_EQ(test::read_file(dir / "alert.ids"), "new");
    EXPECT_EQ(test::read_file(dir / "alert.ids.20261206"), "kept");
}

TEST_P(NoReplaceRename, MissingSourceFailsWithoutCreatingTheTarget) {
    const SysResult result = rename(dir / "scan.log", dir / "scan.log.20261206");
    EXPECT_EQ(result.error, ENOENT);
    EXPECT_FALSE(fs::exists(dir / "scan.log.20261206"));
}

INSTANTIATE_TEST_SUITE_P(FlagAndLinkFallback, NoReplaceRename, ::testing::Values(false, true));

}  // namespace
}  // namespace brevalt
