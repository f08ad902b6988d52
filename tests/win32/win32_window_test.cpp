// The Win32 window on a fake clock and sensor: what start-up leaves on
// screen, which icon callbacks show it, and the icon across task bar restarts.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "main_window.h"
#include "fakes.h"

namespace brevalt::win32 {
namespace {

class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Wine draws through X; without a display no window can exist.
        if (::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) GTEST_SKIP() << "needs an X display";
        test::write_file(dir_ / "brevalt.ini", "03:30\r\n");
        ASSERT_TRUE(window_.create(::GetModuleHandleW(nullptr)));
        ASSERT_FALSE(window_.start_up().has_value());
    }

    test::TempDir dir_;
    test::EventLog log_;
    test::FakeClock clock_{test::FakeClock::at(2026, 12, 6, 9, 5, 7)};
    test::FakePlatform platform_{clock_, log_};
    test::FakeSensor sensor_{log_};
    test::FakeLogKeeper keeper_;
    test::FakeMetricsWriter metrics_;
    MainWindow window_{platform_, sensor_, keeper_, metrics_, (dir_ / "brevalt.ini").string()};
};

// The icon calls back to the hidden picture box with the mouse message as its message,
// so a wrong callback message shows nothing.
TEST_F(Win32WindowTest, StartsHiddenOnlyALeftPressOnTheIconShowsItAndButtonsReachTheSensor) {
    EXPECT_EQ(sensor_.starts, 1);
    EXPECT_EQ(::GetWindowLongW(window_.control(MainWindow::icon_picture), GWL_STYLE) & WS_VISIBLE, 0);
    const NOTIFYICONDATAA& tray = window_.tray_data();
    EXPECT_EQ(tray.cbSize, NOTIFYICONDATAA_V1_SIZE);
    EXPECT_EQ(tray.hWnd, window_.control(MainWindow::icon_picture));

    for (UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN}) {
        EXPECT_FALSE(::IsWindowVisible(window_.window())) << "before mouse message " << mouse;
        ::SendMessageW(tray.hWnd, tray.uCallbackMessage, tray.uID, mouse);
    }
    EXPECT_TRUE(::IsWindowVisible(window_.window()));

    const auto click = [this](MainWindow::Control button) {
        const HWND control = window_.control(button);
        ::SendMessageW(window_.window(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(control), BN_CLICKED),
                       reinterpret_cast<LPARAM>(control));
    };
    click(MainWindow::stop_button);
    EXPECT_EQ(sensor_.stops, 1);
    click(MainWindow::start_button);
    EXPECT_EQ(sensor_.starts, 2);
    click(MainWindow::rotate_button);
    EXPECT_EQ(sensor_.stops, 2);
    EXPECT_EQ(sensor_.starts, 3);
    EXPECT_NE(std::ranges::find(log_, "rename /opt/brevalt/log/alert.ids -> /opt/brevalt/log/alert.ids.20261206"),
              log_.end());
}

// Closing the window ends the program as the menu's exit does, through the
// core: the keeping's worker is stopped before the process ends.
TEST_F(Win32WindowTest, ClosingTheWindowStopsTheKeepingBeforeTheProgramEnds) {
    EXPECT_EXIT(
        {
            keeper_.on_stop = [] {
                std::fputs("keeping stopped\n", stderr);
                std::fflush(stderr);
            };
            ::SendMessageW(window_.window(), WM_CLOSE, 0, 0);
        },
        ::testing::ExitedWithCode(0), "keeping stopped");
}

// "brevalt --reload" reaches the running window by its registered message:
// the settings are read again, the sensor runs on, and the request is on
// record with its sender.
TEST_F(Win32WindowTest, AReloadRequestReadsTheSettingsAgainWithoutStoppingTheSensor) {
    test::write_file(dir_ / "brevalt.ini", "04:15\r\n");
    ::SendMessageW(window_.window(), ::RegisterWindowMessageW(k_reload_message), 4242, 0);
    EXPECT_EQ(sensor_.stops, 0);
    EXPECT_NE(std::ranges::find(platform_.told, "notice: Brevalt received a reload request from process 4242 of user "
                                                "unknown: the settings were read again; the sensor runs (process 1001)"),
              platform_.told.end());
}

// A task bar re-created while the icon is still in place (or a second
// "TaskbarCreated") must neither lose the icon nor pop the window up unasked.
TEST_F(Win32WindowTest, TaskbarCreatedWithTheIconInPlaceKeepsTheWindowHidden) {
    const UINT taskbar_created = ::RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_FALSE(::IsWindowVisible(window_.window())) << "needs a notification area to start hidden";
    ::SendMessageW(window_.window(), taskbar_created, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(window_.window()));
    NOTIFYICONDATAA tray = window_.tray_data();
    EXPECT_TRUE(::Shell_NotifyIconA(NIM_MODIFY, &tray)) << "the icon is still registered";
}

// The end of a sensor must reach the core from the message loop, not wait
// for the next tick, and the icon must say that none runs from then on, also
// once the task bar comes back.
TEST_F(Win32WindowTest, ASensorsEndIsSeenByTheMessageLoopAndShownOnTheIcon) {
    const HICON running_icon = window_.tray_data().hIcon;
    sensor_.end_by_itself();
    // Signalled, as the process handle of a sensor that has ended.
    const HANDLE ended = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    window_.watch_sensor_end(reinterpret_cast<std::intptr_t>(ended));
    ::PostQuitMessage(0);
    window_.run();
    ::CloseHandle(ended);
    ASSERT_FALSE(platform_.told.empty());
    EXPECT_EQ(platform_.told.back(), "warning: The sensor ended by itself (exit status 3)");
    const HICON none_icon = window_.tray_data().hIcon;
    EXPECT_NE(none_icon, nullptr);
    EXPECT_NE(none_icon, running_icon);

    ::SendMessageW(window_.window(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(window_.tray_data().hIcon, none_icon);
    window_.start_sensor();
    EXPECT_EQ(window_.tray_data().hIcon, running_icon);
}

// Texts beyond the window's captions are Japanese in a Japanese session
// (ctest runs this once more with LANG=ja_JP.UTF-8, from which Wine takes
// the user's language) and the core's English otherwise, never the only
// table there is.
TEST_F(Win32WindowTest, TextsAreJapaneseInAJapaneseSessionOnly) {
    const char* lang = std::getenv("LANG");
    const bool japanese = lang != nullptr && std::string_view(lang).starts_with("ja_JP");
    EXPECT_EQ(window_.text_form(TextId::sensor_start_failed), japanese ? "センサーを起動できませんでした: %1" : "");
    EXPECT_EQ(window_.text_form(TextId::tip_running),
              japanese ? "Brevalt: センサー実行中 (%1 から)、次の切り替え %2" : "");
    EXPECT_EQ(window_.text_form(TextId::folder_missing),
              japanese ? "他の Brevalt がログフォルダー \"%1\" を担当していないことを確かめられません: フォルダーがありません"
                       : "");
}

}  // namespace
}  // namespace brevalt::win32
