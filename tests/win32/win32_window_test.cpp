// The Win32 window on a fake clock and sensor: what start-up leaves on
// screen, the classic form's controls, and which icon callbacks show it.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <string>

#include "brevalt_window.h"
#include "dpi.h"
#include "fakes.h"
#include "temp_dir.h"

namespace brevalt::win32 {
namespace {

std::wstring text_of(HWND window) {
    std::wstring text(256, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Wine draws through X; without a display no window can exist.
        if (::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) GTEST_SKIP() << "needs an X display";
        test::write_file(dir_ / "brevalt.ini", "03:30\r\n");
        ASSERT_TRUE(brevalt_.create(::GetModuleHandleW(nullptr)));
        ASSERT_FALSE(brevalt_.Form_Load().has_value());
    }

    test::TempDir dir_;
    test::EventLog log_;
    test::FakeClock clock_{test::FakeClock::at(2026, 12, 6, 9, 5, 7)};
    test::FakePlatform platform_{clock_, log_};
    test::FakeSensor sensor_{log_};
    Brevalt brevalt_{platform_, sensor_, (dir_ / "brevalt.ini").string()};
};

// The icon calls back to Picture1 with the mouse message as its message,
// so a wrong callback message shows nothing.
TEST_F(Win32WindowTest, StartsHiddenOnlyALeftPressOnTheIconShowsItAndButtonsReachTheSensor) {
    EXPECT_EQ(sensor_.starts, 1);
    EXPECT_EQ(::GetWindowLongW(brevalt_.control(Brevalt::Picture1), GWL_STYLE) & WS_VISIBLE, 0);
    const NOTIFYICONDATAA& tray = brevalt_.tray_data();
    EXPECT_EQ(tray.cbSize, NOTIFYICONDATAA_V1_SIZE);
    EXPECT_EQ(tray.hWnd, brevalt_.control(Brevalt::Picture1));
    EXPECT_EQ(tray.uFlags, 7u);
    EXPECT_STREQ(tray.szTip, "Brevalt");

    for (UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN}) {
        EXPECT_FALSE(::IsWindowVisible(brevalt_.window())) << "before mouse message " << mouse;
        ::SendMessageW(tray.hWnd, tray.uCallbackMessage, tray.uID, mouse);
    }
    EXPECT_TRUE(::IsWindowVisible(brevalt_.window()));

    const auto click = [this](Brevalt::Control button) {
        const HWND control = brevalt_.control(button);
        ::SendMessageW(brevalt_.window(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(control), BN_CLICKED),
                       reinterpret_cast<LPARAM>(control));
    };
    click(Brevalt::Command1);
    EXPECT_EQ(sensor_.stops, 1);
    click(Brevalt::start_snort);
    EXPECT_EQ(sensor_.starts, 2);
    click(Brevalt::rotate);
    EXPECT_EQ(sensor_.stops, 2);
    EXPECT_EQ(sensor_.starts, 3);
    EXPECT_NE(std::ranges::find(log_, "rename /opt/brevalt/log/alert.ids -> /opt/brevalt/log/alert.ids.20261206"),
              log_.end());
}

// The classic form's twips at 15 to a pixel, scaled to the monitor's DPI.
TEST_F(Win32WindowTest, ControlsCaptionsMenuAndTabOrderAreTheClassicForms) {
    struct Expected { Brevalt::Control control; const wchar_t* caption; long left, top, width, height; };  // at 96 dpi
    const std::array<Expected, 9> controls{{
        {Brevalt::start_snort, L"Snort実行", 16, 64, 97, 41},
        {Brevalt::Label1, L"2026/12/06 9:05:07", 80, 16, 161, 25},
        {Brevalt::Command1, L"停止", 208, 64, 97, 41},
        {Brevalt::rotate, L"再起動", 120, 64, 81, 41},
        {Brevalt::Picture1, L"", 16, 8, 49, 33},
        {Brevalt::Frame1, L"Frame1", 16, 128, 281, 89},
        {Brevalt::Label2, L"切り替え時刻", 40, 168, 89, 25},
        {Brevalt::Text1, L"03:30", 144, 160, 65, 25},
        {Brevalt::Label3, L"hh:mm", 224, 168, 65, 25},
    }};
    const HWND window = brevalt_.window();
    const long dpi = static_cast<long>(window_dpi(window));
    const auto px = [dpi](long at_96) { return ::MulDiv(at_96, dpi, 96); };
    RECT r{};
    ::GetClientRect(window, &r);
    EXPECT_EQ(r.right, px(312));
    EXPECT_EQ(r.bottom, px(223));
    for (const Expected& e : controls) {
        SCOPED_TRACE(testing::Message() << "control " << e.control);
        EXPECT_EQ(text_of(brevalt_.control(e.control)), e.caption);
        ::GetWindowRect(brevalt_.control(e.control), &r);
        ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ((std::array<long, 4>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                  (std::array<long, 4>{px(e.left), px(e.top), px(e.width), px(e.height)}));
    }

    wchar_t name[32]{};
    ::GetClassNameW(window, name, 32);
    EXPECT_STREQ(name, L"Brevalt");
    EXPECT_EQ(text_of(window), L"Brevalt");
    ::GetMenuStringW(::GetMenu(window), 0, name, 32, MF_BYPOSITION);
    EXPECT_STREQ(name, L"ファイル");
    ::GetMenuStringW(::GetSubMenu(::GetMenu(window), 0), 0, name, 32, MF_BYPOSITION);
    EXPECT_STREQ(name, L"終了");

    // Start, stop, rotate, the time box, and round again.
    HWND focus = brevalt_.control(Brevalt::start_snort);
    for (Brevalt::Control next : {Brevalt::Command1, Brevalt::rotate, Brevalt::Text1, Brevalt::start_snort}) {
        focus = ::GetNextDlgTabItem(window, focus, FALSE);
        EXPECT_EQ(focus, brevalt_.control(next)) << "expected control " << next;
    }
}

}  // namespace
}  // namespace brevalt::win32
