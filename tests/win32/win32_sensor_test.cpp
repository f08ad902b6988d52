// The Windows sensor backend and platform layer against real processes and
// files: the stand-in snort.exe sits beside this test, as it sits beside the
// program.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/system_platform.h"
#include "sensor/win32/win32_sensor.h"
#include "temp_dir.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using TestHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

fs::path program_folder() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
}

// The test's own handle to a sensor, independent of the backend's, so that
// the test can watch a process whose handles the backend has closed.
TestHandle watch(DWORD process_id) {
    return TestHandle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                    process_id));
}

fs::path image_of(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(process, 0, path.data(), &size)) return {};
    path.resize(size);
    return path;
}

bool has_ended(HANDLE process, DWORD wait_ms) { return ::WaitForSingleObject(process, wait_ms) == WAIT_OBJECT_0; }

DWORD exit_code_of(HANDLE process) {
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process, &code);
    return code;
}

bool is_open_handle(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != 0;
}

// Generous: a terminated process is normally gone within milliseconds.
constexpr DWORD k_end_wait_ms = 10000;

class Win32SensorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fs::exists(program_folder() / "snort.exe")) << program_folder(); }

    void TearDown() override {
        fs::current_path(initial_dir_);
        // No sensor may outlive its test: it would hold the test runner's
        // output pipe open.
        for (auto& process : leftovers_) {
            ::TerminateProcess(process.get(), 0);
            has_ended(process.get(), k_end_wait_ms);
        }
    }

    // Starts a sensor and returns the test's own handle to it.
    TestHandle start_watched() {
        EXPECT_TRUE(sensor_.start().ok());
        TestHandle process = watch(sensor_.sensor_info().dwProcessId);
        EXPECT_NE(process, nullptr);
        leftovers_.push_back(watch(sensor_.sensor_info().dwProcessId));
        return process;
    }

    Win32Sensor sensor_;
    std::vector<TestHandle> leftovers_;
    fs::path initial_dir_ = fs::current_path();
};

TEST_F(Win32SensorTest, SensorBesideTheProgramIsPreferredToOneInTheCurrentDirectory) {
    test::TempDir elsewhere;
    fs::copy_file(program_folder() / "snort.exe", elsewhere / "snort.exe");
    fs::current_path(elsewhere.path());

    const TestHandle process = start_watched();
    EXPECT_TRUE(fs::equivalent(image_of(process.get()), program_folder() / "snort.exe")) << image_of(process.get());
    sensor_.stop();
    EXPECT_TRUE(has_ended(process.get(), k_end_wait_ms));
}

TEST_F(Win32SensorTest, StopEndsTheSensorWithExitCodeZeroAndReleasesTheRecord) {
    const TestHandle process = start_watched();
    ASSERT_FALSE(has_ended(process.get(), 0));

    sensor_.stop();
    ASSERT_TRUE(has_ended(process.get(), k_end_wait_ms));
    EXPECT_EQ(exit_code_of(process.get()), 0u);
    EXPECT_EQ(sensor_.sensor_info().hProcess, nullptr);
    EXPECT_EQ(sensor_.sensor_info().hThread, nullptr);
}

// Windows hands a closed handle's value to the next object opened, so a
// second stop through remembered values would end or close whatever the
// program opened since. Here that is another process, started the moment
// after the first stop so that it takes the freed values.
TEST_F(Win32SensorTest, SecondStopTerminatesAndClosesNothing) {
    start_watched();
    const PROCESS_INFORMATION first = sensor_.sensor_info();
    sensor_.stop();

    const std::wstring image = (program_folder() / "snort.exe").wstring();
    std::wstring command_line = L"snort.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION other{};
    ASSERT_TRUE(::CreateProcessW(image.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &other));
    const TestHandle other_process(other.hProcess);
    const TestHandle other_thread(other.hThread);
    leftovers_.push_back(watch(other.dwProcessId));
    // Without reuse this test could not tell a careful stop from a careless one.
    ASSERT_TRUE(other.hProcess == first.hProcess || other.hProcess == first.hThread ||
                other.hThread == first.hProcess || other.hThread == first.hThread);

    sensor_.stop();
    EXPECT_TRUE(is_open_handle(other.hProcess));
    EXPECT_TRUE(is_open_handle(other.hThread));
    EXPECT_FALSE(has_ended(other.hProcess, 500));
}

TEST_F(Win32SensorTest, SecondStartLeavesTheFirstSensorRunningAndStopEndsOnlyTheNewest) {
    const TestHandle first = start_watched();
    const TestHandle second = start_watched();

    sensor_.stop();
    ASSERT_TRUE(has_ended(second.get(), k_end_wait_ms));
    EXPECT_EQ(exit_code_of(second.get()), 0u);
    EXPECT_FALSE(has_ended(first.get(), 500));
}

TEST_F(Win32SensorTest, ReapKeepsARunningSensorAndReleasesOneThatEndedByItself) {
    const TestHandle process = start_watched();
    sensor_.reap();
    ASSERT_NE(sensor_.sensor_info().hProcess, nullptr);

    // Ended from outside, as a sensor that fails on its own would end.
    ::TerminateProcess(process.get(), 3);
    ASSERT_TRUE(has_ended(process.get(), k_end_wait_ms));
    sensor_.reap();
    EXPECT_EQ(sensor_.sensor_info().hProcess, nullptr);
    EXPECT_EQ(exit_code_of(process.get()), 3u);
}

class Win32PlatformTest : public ::testing::Test {
protected:
    static std::string utf8(const fs::path& path) {
        const std::u8string text = path.u8string();
        return {text.begin(), text.end()};
    }
    static fs::path from_utf8(const std::string& text) { return std::u8string(text.begin(), text.end()); }
    SystemPlatform platform_;
    test::TempDir dir_;
};

TEST_F(Win32PlatformTest, ProgramDirIsTheExecutablesFolderWhateverTheCurrentDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(dir_.path());
    const ProgramDir dir = platform_.program_dir();
    fs::current_path(before);

    ASSERT_TRUE(dir.result.ok());
    EXPECT_NE(dir.path.back(), '\\');
    EXPECT_TRUE(fs::exists(from_utf8(dir.path) / "win32_sensor_test.exe"));
    EXPECT_TRUE(fs::exists(from_utf8(dir.path + platform_.path_separator() + "snort.exe")));
}

TEST_F(Win32PlatformTest, RenameOntoAnExistingDatedFileFailsAndLeavesBoth) {
    test::write_file(dir_ / "alert.ids", "new");
    test::write_file(dir_ / "alert.ids.20261206", "kept");

    const SysResult result = platform_.rename_no_replace(utf8(dir_ / "alert.ids"), utf8(dir_ / "alert.ids.20261206"));
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, ERROR_ALREADY_EXISTS);
    EXPECT_EQ(test::read_file(dir_ / "alert.ids"), "new");
    EXPECT_EQ(test::read_file(dir_ / "alert.ids.20261206"), "kept");
}

// The names travel as UTF-8 and must reach the file system as the same
// characters, in a folder name no ANSI code page holds entirely.
TEST_F(Win32PlatformTest, RenameMovesAFileInAFolderWithANonAsciiName) {
    const fs::path folder = dir_.path() / u8"ログ Ωmega";
    fs::create_directory(folder);
    test::write_file(folder / "scan.log", "today");

    ASSERT_TRUE(platform_.rename_no_replace(utf8(folder / "scan.log"), utf8(folder / "scan.log.20261206")).ok());
    EXPECT_FALSE(fs::exists(folder / "scan.log"));
    EXPECT_EQ(test::read_file(folder / "scan.log.20261206"), "today");
}

TEST_F(Win32PlatformTest, RenameOfAMissingFileFailsWithoutCreatingTheTarget) {
    const SysResult result = platform_.rename_no_replace(utf8(dir_ / "scan.log"), utf8(dir_ / "scan.log.20261206"));
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir_ / "scan.log.20261206"));
}

TEST_F(Win32PlatformTest, NameThatIsNotUtf8IsRefusedNotGuessed) {
    test::write_file(dir_ / "alert.ids", "x");
    const SysResult result = platform_.rename_no_replace(utf8(dir_ / "alert.ids"), utf8(dir_.path()) + "\\\xff\xfe");
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(fs::exists(dir_ / "alert.ids"));
}

}  // namespace
}  // namespace brevalt
