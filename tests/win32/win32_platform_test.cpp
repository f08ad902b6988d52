// The Windows platform layer against real files.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/system_platform.h"
#include "fakes.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// Names travel as UTF-8 and must reach the file system as the same
// characters, in a folder name no ANSI code page holds entirely.
TEST(Win32PlatformTest, RenameNeverReplacesAndReadsNamesAsUtf8) {
    test::TempDir dir;
    const fs::path folder = dir.path() / u8"ログ Ωmega";
    fs::create_directory(folder);
    test::write_file(folder / "alert.ids", "new");
    test::write_file(folder / "alert.ids.20261206", "kept");
    SystemPlatform platform;

    const SysResult taken = platform.rename_no_replace(utf8(folder / "alert.ids"), utf8(folder / "alert.ids.20261206"));
    EXPECT_EQ(taken.error, ERROR_ALREADY_EXISTS);
    EXPECT_EQ(test::read_file(folder / "alert.ids"), "new");
    EXPECT_EQ(test::read_file(folder / "alert.ids.20261206"), "kept");
    // A name that is not UTF-8 is refused, not guessed at.
    EXPECT_FALSE(platform.rename_no_replace(utf8(folder / "alert.ids"), utf8(folder) + "\\\xff\xfe").ok());
    EXPECT_TRUE(fs::exists(folder / "alert.ids"));
}

}  // namespace
}  // namespace brevalt
