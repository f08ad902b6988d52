// The Windows sensor backend and platform layer against real processes and
// files; the stand-in snort.exe sits beside this test as beside the program.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system_platform.h"
#include "sensor/win32/win32_sensor.h"
#include "fakes.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

fs::path program_folder() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

bool has_ended(HANDLE process, DWORD wait_ms) { return ::WaitForSingleObject(process, wait_ms) == WAIT_OBJECT_0; }

class Win32SensorTest : public ::testing::Test {
protected:
    void TearDown() override {
        fs::current_path(initial_dir_);
        // A sensor outliving its test would hold the test runner's output pipe open.
        for (HANDLE process : watched_) {
            ::TerminateProcess(process, 0);
            has_ended(process, 10000);
            ::CloseHandle(process);
        }
    }

    // The test's own handle, so it can watch a sensor whose handles the backend has closed.
    HANDLE start_watched(Win32Sensor& sensor) {
        EXPECT_TRUE(sensor.start().ok());
        watched_.push_back(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                         sensor.sensor_info().dwProcessId));
        EXPECT_NE(watched_.back(), nullptr);
        return watched_.back();
    }

    Win32Sensor sensor_;
    std::vector<HANDLE> watched_;
    fs::path initial_dir_ = fs::current_path();
};

// A planted snort.exe in the current directory must lose to the one beside
// the program; the log folder, too, follows the program.
TEST_F(Win32SensorTest, SensorAndFolderAreTheProgramsAndStopEndsOnlyTheNewestWithZero) {
    test::TempDir elsewhere;
    fs::copy_file(program_folder() / "snort.exe", elsewhere / "snort.exe");
    fs::current_path(elsewhere.path());

    const ProgramDir dir = SystemPlatform().program_dir();
    ASSERT_TRUE(dir.result.ok());
    EXPECT_EQ(dir.path, utf8(program_folder()));

    const HANDLE first = start_watched(sensor_);
    const HANDLE newest = start_watched(sensor_);
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    ASSERT_TRUE(::QueryFullProcessImageNameW(newest, 0, image.data(), &size));
    EXPECT_TRUE(fs::equivalent(image.substr(0, size), program_folder() / "snort.exe")) << image.substr(0, size);

    sensor_.reap();  // must keep a sensor that is still running
    sensor_.stop();
    ASSERT_TRUE(has_ended(newest, 10000));
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(newest, &code);
    EXPECT_EQ(code, 0u);
    // A second start let go of the first sensor, which keeps running.
    EXPECT_FALSE(has_ended(first, 500));
}

// Windows hands a closed handle's value to the next object opened, so a
// second stop through remembered values would end or close whatever was
// opened since: here another sensor, started right after the first stop.
TEST_F(Win32SensorTest, SecondStopTerminatesAndClosesNothing) {
    start_watched(sensor_);
    const PROCESS_INFORMATION first = sensor_.sensor_info();
    sensor_.stop();

    Win32Sensor other_sensor;
    const HANDLE other_process = start_watched(other_sensor);
    const PROCESS_INFORMATION other = other_sensor.sensor_info();
    // Without reuse this test could not tell a careful stop from a careless one.
    ASSERT_TRUE(other.hProcess == first.hProcess || other.hProcess == first.hThread ||
                other.hThread == first.hProcess || other.hThread == first.hThread);

    sensor_.stop();
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(other.hProcess, &flags));
    EXPECT_TRUE(::GetHandleInformation(other.hThread, &flags));
    EXPECT_FALSE(has_ended(other_process, 500));
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
