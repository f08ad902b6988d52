// The Windows folder claim against real folders.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/system_platform.h"
#include "fakes.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;
using Outcome = FolderClaim::Outcome;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// One Brevalt per log folder, whatever path names the folder: a program
// started by its short name sees its own folder so. The answer names the
// user who holds it. (Another process held off, and the claim ending with
// its process, are proven with the real program under Wine.)
TEST(Win32FolderClaim, HoldsTheFolderByAnyOfItsNamesAndSaysWho) {
    test::TempDir dir;
    SystemPlatform platform;
    EXPECT_EQ(platform.claim_folder(utf8(dir / "log")).outcome, Outcome::missing);
    ASSERT_EQ(platform.claim_folder(utf8(dir.path())).outcome, Outcome::claimed);

    std::wstring short_name(MAX_PATH, L'\0');
    short_name.resize(::GetShortPathNameW(dir.path().c_str(), short_name.data(), MAX_PATH));
    ASSERT_NE(short_name, dir.path().wstring());
    for (const std::string& name : {utf8(short_name), utf8(dir.path()) + "\\..\\" + utf8(dir.path().filename())}) {
        const FolderClaim held = platform.claim_folder(name);
        EXPECT_EQ(held.outcome, Outcome::held_elsewhere) << name;
        std::wstring user(256, L'\0');
        DWORD size = static_cast<DWORD>(user.size());
        ASSERT_TRUE(::GetUserNameW(user.data(), &size));
        user.resize(size - 1);
        EXPECT_TRUE(held.detail.ends_with("\\" + utf8(user))) << held.detail;
    }
}

}  // namespace
}  // namespace brevalt
