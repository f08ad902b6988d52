// The Windows platform layer against real files.

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <filesystem>
#include <optional>
#include <string>

#include "fakes.h"
#include "platform/system_platform.h"
#include "texts/texts.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

using test::utf8;

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

bool set_folder_access(const fs::path& folder, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const BOOL set = ::SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    return set != FALSE;
}

// Whoever may not create files in the log folder must never reach the claim,
// and is told which group to join and as whom; whoever may, or a folder that
// is not there yet, passes.
TEST(Win32PlatformTest, OnlyAUserWhoMayWriteTheLogFolderRunsBrevalt) {
    test::TempDir dir;
    const fs::path log = dir.path() / "log";
    SystemPlatform platform;
    EXPECT_EQ(platform.why_not_operator(utf8(log)), std::nullopt);
    fs::create_directory(log);
    EXPECT_EQ(platform.why_not_operator(utf8(log)), std::nullopt);

    // The system and a group nobody is in: as the installer's folder looks
    // to a user outside "Brevalt Operators".
    ASSERT_TRUE(set_folder_access(log, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;S-1-5-32-999)"));
    const std::optional<Text> refusal = platform.why_not_operator(utf8(log));
    ASSERT_TRUE(refusal.has_value());
    const std::string why = english(*refusal);
    std::wstring user(256, L'\0');
    DWORD size = static_cast<DWORD>(user.size());
    ASSERT_TRUE(::GetUserNameW(user.data(), &size));
    user.resize(size - 1);
    EXPECT_TRUE(why.starts_with("Only members of the group \"Brevalt Operators\" may run Brevalt: ask an administrator "
                                "to add you (net localgroup \"Brevalt Operators\" "))
        << why;
    EXPECT_TRUE(why.ends_with("\\" + utf8(user) + " /add), then log on again")) << why;

    // Modify for a group this user is in, as for an operator.
    ASSERT_TRUE(set_folder_access(log, L"D:P(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;BU)"));
    EXPECT_EQ(platform.why_not_operator(utf8(log)), std::nullopt);
}

}  // namespace
}  // namespace brevalt
