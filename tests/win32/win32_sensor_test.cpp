// The Windows sensor backend against real processes and folders; the
// stand-in snort.exe sits beside this test as beside the program.

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/system_platform.h"
#include "sensor/win32/win32_sensor.h"
#include "fakes.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;
using Outcome = FolderClaim::Outcome;

fs::path program_folder() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
}

using test::utf8;

bool has_ended(HANDLE process, DWORD wait_ms) { return ::WaitForSingleObject(process, wait_ms) == WAIT_OBJECT_0; }

// The sensor that `parent` started, once it has; not the console host that
// Wine may start beside it.
DWORD child_of(DWORD parent) {
    for (int attempt = 0; attempt < 500; ++attempt, ::Sleep(10)) {
        const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        DWORD found = 0;
        for (BOOL more = ::Process32FirstW(snapshot, &entry); more && found == 0; more = ::Process32NextW(snapshot, &entry))
            if (entry.th32ParentProcessID == parent && ::_wcsicmp(entry.szExeFile, L"snort.exe") == 0)
                found = entry.th32ProcessID;
        ::CloseHandle(snapshot);
        if (found != 0) return found;
    }
    return 0;
}

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
    HANDLE watch(DWORD pid) {
        watched_.push_back(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
        EXPECT_NE(watched_.back(), nullptr);
        return watched_.back();
    }

    HANDLE start_watched(Win32Sensor& sensor) {
        EXPECT_TRUE(sensor.start().ok());
        return watch(static_cast<DWORD>(sensor.running_pid().value_or(0)));
    }

    // The very snort.exe Brevalt would start, run by hand: it bears no mark.
    HANDLE start_by_hand() {
        std::wstring command_line = L"\"" + (program_folder() / "snort.exe").wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        EXPECT_TRUE(::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &started));
        ::CloseHandle(started.hThread);
        watched_.push_back(started.hProcess);
        return started.hProcess;
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
    // The rotation renames right after this: the sensor must be gone by then.
    sensor_.ensure_stopped_gone();
    ASSERT_TRUE(has_ended(newest, 0));
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(newest, &code);
    EXPECT_EQ(code, 0u);
    // A second start let go of the first sensor, which keeps running.
    EXPECT_FALSE(has_ended(first, 500));
}

// Windows hands a closed handle's value to the next object opened, so a
// second stop through a remembered value would end whatever was opened
// since: here another sensor, started right after the first was gone, and
// handles to it that fill every value freed.
TEST_F(Win32SensorTest, SecondStopTerminatesNothing) {
    start_watched(sensor_);
    sensor_.stop();
    sensor_.ensure_stopped_gone();
    EXPECT_EQ(sensor_.running_pid(), std::nullopt);

    Win32Sensor other_sensor;
    const HANDLE other = start_watched(other_sensor);
    for (int i = 0; i < 4; ++i) watch(static_cast<DWORD>(other_sensor.running_pid().value_or(0)));
    sensor_.stop();
    sensor_.ensure_stopped_gone();
    EXPECT_FALSE(has_ended(other, 500));
}

// One Brevalt per log folder, whatever path names the folder: a program
// started by its short name sees its own folder so. The answer names the
// user who holds it. (Another process held off, and the claim ending with
// its process, are proven with the real program under Wine.)
TEST(Win32FolderClaim, HoldsTheFolderByAnyOfItsNamesAndSaysWho) {
    test::TempDir dir;
    Win32Sensor sensor;
    EXPECT_EQ(sensor.claim_folder(utf8(dir / "log")).outcome, Outcome::missing);
    ASSERT_EQ(sensor.claim_folder(utf8(dir.path())).outcome, Outcome::claimed);

    std::wstring short_name(MAX_PATH, L'\0');
    short_name.resize(::GetShortPathNameW(dir.path().c_str(), short_name.data(), MAX_PATH));
    ASSERT_NE(short_name, dir.path().wstring());
    for (const std::string& name : {utf8(short_name), utf8(dir.path()) + "\\..\\" + utf8(dir.path().filename())}) {
        const FolderClaim held = Win32Sensor().claim_folder(name);
        EXPECT_EQ(held.outcome, Outcome::held_elsewhere) << name;
        std::wstring user(256, L'\0');
        DWORD size = static_cast<DWORD>(user.size());
        ASSERT_TRUE(::GetUserNameW(user.data(), &size));
        user.resize(size - 1);
        ASSERT_TRUE(held.holder.has_value()) << name;
        EXPECT_TRUE(held.holder->user.ends_with("\\" + utf8(user))) << held.holder->user;
    }
}

// "終了" leaves the sensor running and a crash leaves it behind: the next
// Brevalt on the folder must watch and stop that very process, and must not
// mistake the same executable run by hand for it.
TEST_F(Win32SensorTest, SensorLeftOnTheFolderIsTakenOverButOneRunByHandIsNot) {
    test::TempDir dir;
    const HANDLE by_hand = start_by_hand();
    HANDLE left = nullptr;
    long left_pid = 0;
    {
        Win32Sensor earlier;
        ASSERT_EQ(earlier.claim_folder(utf8(dir.path())).outcome, Outcome::claimed);
        // A sensor that starts another process: both belong to its job.
        ::SetEnvironmentVariableW(L"STANDIN_SENSOR_CHILD", L"1");
        left = start_watched(earlier);
        ::SetEnvironmentVariableW(L"STANDIN_SENSOR_CHILD", nullptr);
        left_pid = earlier.running_pid().value_or(0);
    }
    const HANDLE started_by_sensor = watch(child_of(static_cast<DWORD>(left_pid)));
    {
        Win32Sensor later;
        const FolderClaim claim = later.claim_folder(utf8(dir.path()));
        ASSERT_EQ(claim.outcome, Outcome::taken_over);
        EXPECT_EQ(claim.pid, left_pid);
        EXPECT_EQ(later.running_pid(), left_pid);
        // What the window waits on for the sensor's end: that very process,
        // and nothing once it is stopped, or a stop would read as a crash.
        const std::optional<std::intptr_t> end = later.end_handle();
        ASSERT_TRUE(end.has_value());
        EXPECT_EQ(::GetProcessId(reinterpret_cast<HANDLE>(*end)), static_cast<DWORD>(left_pid));
        later.stop();
        EXPECT_EQ(later.end_handle(), std::nullopt);
        later.ensure_stopped_gone();
        EXPECT_TRUE(has_ended(left, 0));
        EXPECT_TRUE(has_ended(started_by_sensor, 0)) << "what the sensor started ends with it";
    }
    EXPECT_EQ(Win32Sensor().claim_folder(utf8(dir.path())).outcome, Outcome::claimed);
    EXPECT_FALSE(has_ended(by_hand, 0));
}

}  // namespace
}  // namespace brevalt
