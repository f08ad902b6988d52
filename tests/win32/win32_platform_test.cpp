// The Windows folder claim against real folders and processes.

#include <gtest/gtest.h>

#include <process.h>
#include <windows.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>

#include "platform/system_platform.h"
#include "fakes.h"

namespace brevalt {

void PrintTo(FolderClaim::Outcome outcome, std::ostream* out) {
    *out << std::array{"claimed", "missing", "held_elsewhere", "failed"}.at(static_cast<std::size_t>(outcome));
}

namespace {

namespace fs = std::filesystem;
using Outcome = FolderClaim::Outcome;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// Runs this program as another process that claims `folder` (see main) and
// ends; its exit status is the outcome.
Outcome claim_in_child(const fs::path& folder) {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    const std::wstring quoted_folder = L"\"" + folder.wstring() + L"\"";
    return static_cast<Outcome>(::_wspawnl(_P_WAIT, self.c_str(), L"child", L"--claim", quoted_folder.c_str(), nullptr));
}

// One Brevalt per log folder: a claim shuts out every other process until
// its own process ends, whatever path names the folder.
TEST(Win32FolderClaim, HoldsOffOtherProcessesUntilItsProcessEnds) {
    test::TempDir dir;
    SystemPlatform platform;
    EXPECT_EQ(platform.claim_folder(utf8(dir / "log")).outcome, Outcome::missing);

    EXPECT_EQ(claim_in_child(dir.path()), Outcome::claimed);
    ASSERT_EQ(platform.claim_folder(utf8(dir.path())).outcome, Outcome::claimed);
    EXPECT_EQ(claim_in_child(dir.path()), Outcome::held_elsewhere);

    // The same folder by its short name, as a program started by it sees
    // its own folder; the answer names this user.
    std::wstring short_name(MAX_PATH, L'\0');
    short_name.resize(::GetShortPathNameW(dir.path().c_str(), short_name.data(), MAX_PATH));
    ASSERT_NE(short_name, dir.path().wstring());
    const FolderClaim held = platform.claim_folder(utf8(short_name));
    EXPECT_EQ(held.outcome, Outcome::held_elsewhere);
    std::wstring user(256, L'\0');
    DWORD size = static_cast<DWORD>(user.size());
    ASSERT_TRUE(::GetUserNameW(user.data(), &size));
    user.resize(size - 1);
    EXPECT_TRUE(held.detail.ends_with("\\" + utf8(user))) << held.detail;

    // Paths past the length of an object name stay apart beyond the cut; in
    // other letters a path names the same folder.
    const fs::path deep = dir / std::string(240, 'd');
    fs::create_directories(deep / "a");
    fs::create_directories(deep / "b");
    EXPECT_EQ(platform.claim_folder(utf8(deep / "a")).outcome, Outcome::claimed);
    EXPECT_EQ(platform.claim_folder(utf8(deep / "b")).outcome, Outcome::claimed);
    EXPECT_EQ(platform.claim_folder(utf8(deep / "A")).outcome, Outcome::held_elsewhere);
}

}  // namespace
}  // namespace brevalt

int main(int argc, char** argv) {
    // As the other process of the claim test: its outcome is the exit status.
    if (argc == 3 && std::strcmp(argv[1], "--claim") == 0)
        return static_cast<int>(brevalt::SystemPlatform().claim_folder(argv[2]).outcome);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
