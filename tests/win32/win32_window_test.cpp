// The Win32 window Brevalt, driven by its own messages on a fake clock and a
// fake sensor: what the start-up order leaves on screen, the layout, the
// icon's record and which icon callbacks show the window.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

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

bool has_event(const test::EventLog& log, const std::string& event) {
    return std::find(log.begin(), log.end(), event) != log.end();
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

    HWND control(Brevalt::Control which) const { return brevalt_.control(which); }

    void click(Brevalt::Control button) {
        ::SendMessageW(brevalt_.window(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(control(button)), BN_CLICKED),
                       reinterpret_cast<LPARAM>(control(button)));
    }

    // What the notification area sends for a mouse action on the icon.
    void icon_callback(UINT mouse_message) {
        const NOTIFYICONDATAA& tray = brevalt_.tray_data();
        ::SendMessageW(tray.hWnd, tray.uCallbackMessage, tray.uID, mouse_message);
    }

    bool window_shown() const { return ::IsWindowVisible(brevalt_.window()) != FALSE; }

    test::TempDir dir_;
    test::EventLog log_;
    test::FakeClock clock_{test::FakeClock::at(2026, 12, 6, 9, 5, 7)};
    test::FakePlatform platform_{clock_, log_};
    test::FakeSensor sensor_{log_};
    Brevalt brevalt_{platform_, sensor_, (dir_ / "brevalt.ini").string()};
};

TEST_F(Win32WindowTest, StartUpFillsTheWindowHidesItAndStartsTheSensor) {
    EXPECT_EQ(text_of(control(Brevalt::Text1)), L"03:30");
    EXPECT_EQ(text_of(control(Brevalt::Label1)), L"2026/12/06 9:05:07");
    EXPECT_FALSE(window_shown());
    EXPECT_EQ(::GetWindowLongW(control(Brevalt::Picture1), GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(sensor_.starts, 1);
}

TEST_F(Win32WindowTest, CaptionsMenuAndTabOrderAreTheClassicForms) {
    std::array<wchar_t, 32> class_name{};
    ::GetClassNameW(brevalt_.window(), class_name.data(), static_cast<int>(class_name.size()));
    EXPECT_EQ(std::wstring(class_name.data()), L"Brevalt");
    EXPECT_EQ(text_of(brevalt_.window()), L"Brevalt");
    EXPECT_EQ(text_of(control(Brevalt::start_snort)), L"Snort実行");
    EXPECT_EQ(text_of(control(Brevalt::rotate)), L"再起動");
    EXPECT_EQ(text_of(control(Brevalt::Command1)), L"停止");
    EXPECT_EQ(text_of(control(Brevalt::Frame1)), L"Frame1");
    EXPECT_EQ(text_of(control(Brevalt::Label2)), L"切り替え時刻");
    EXPECT_EQ(text_of(control(Brevalt::Label3)), L"hh:mm");

    const HMENU menu = ::GetMenu(brevalt_.window());
    std::array<wchar_t, 32> item{};
    ::GetMenuStringW(menu, 0, item.data(), static_cast<int>(item.size()), MF_BYPOSITION);
    EXPECT_EQ(std::wstring(item.data()), L"ファイル");
    ::GetMenuStringW(::GetSubMenu(menu, 0), 0, item.data(), static_cast<int>(item.size()), MF_BYPOSITION);
    EXPECT_EQ(std::wstring(item.data()), L"終了");

    // Start, stop, rotate, then the time box, and round again.
    HWND focus = control(Brevalt::start_snort);
    for (Brevalt::Control next : {Brevalt::Command1, Brevalt::rotate, Brevalt::Text1, Brevalt::start_snort}) {
        focus = ::GetNextDlgTabItem(brevalt_.window(), focus, FALSE);
        EXPECT_EQ(focus, control(next)) << "expected control " << static_cast<int>(next);
    }
}

// The classic form's twips at 15 to a pixel, scaled to the monitor's DPI.
TEST_F(Win32WindowTest, LayoutIsTheTwipsLayoutInPixels) {
    struct Expected {
        Brevalt::Control control;
        int left, top, width, height;  // pixels at 96 dpi
    };
    constexpr std::array<Expected, 9> layout{{
        {Brevalt::start_snort, 16, 64, 97, 41},
        {Brevalt::Label1, 80, 16, 161, 25},
        {Brevalt::Command1, 208, 64, 97, 41},
        {Brevalt::rotate, 120, 64, 81, 41},
        {Brevalt::Picture1, 16, 8, 49, 33},
        {Brevalt::Frame1, 16, 128, 281, 89},
        {Brevalt::Label2, 40, 168, 89, 25},
        {Brevalt::Text1, 144, 160, 65, 25},
        {Brevalt::Label3, 224, 168, 65, 25},
    }};
    const int dpi = static_cast<int>(window_dpi(brevalt_.window()));
    const auto scaled = [dpi](int px) { return ::MulDiv(px, dpi, 96); };

    RECT client{};
    ::GetClientRect(brevalt_.window(), &client);
    EXPECT_EQ(client.right, scaled(312));
    EXPECT_EQ(client.bottom, scaled(223));
    for (const Expected& e : layout) {
        RECT r{};
        ::GetWindowRect(control(e.control), &r);
        ::MapWindowPoints(HWND_DESKTOP, brevalt_.window(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, scaled(e.left)) << "control " << static_cast<int>(e.control);
        EXPECT_EQ(r.top, scaled(e.top)) << "control " << static_cast<int>(e.control);
        EXPECT_EQ(r.right - r.left, scaled(e.width)) << "control " << static_cast<int>(e.control);
        EXPECT_EQ(r.bottom - r.top, scaled(e.height)) << "control " << static_cast<int>(e.control);
    }
}

TEST_F(Win32WindowTest, IconRecordIsTheEarliestLayoutAddressedToPicture1) {
    const NOTIFYICONDATAA& tray = brevalt_.tray_data();
    EXPECT_EQ(tray.cbSize, NOTIFYICONDATAA_V1_SIZE);
    EXPECT_EQ(tray.hWnd, control(Brevalt::Picture1));
    EXPECT_EQ(tray.uID, 0u);
    EXPECT_EQ(tray.uFlags, 7u);
    EXPECT_EQ(tray.uCallbackMessage, 512u);
    EXPECT_NE(tray.hIcon, nullptr);
    EXPECT_EQ(tray.hIcon, reinterpret_cast<HICON>(::GetClassLongPtrW(brevalt_.window(), GCLP_HICON)));
    EXPECT_STREQ(tray.szTip, "Brevalt");
}

TEST_F(Win32WindowTest, OnlyALeftPressOnTheIconShowsTheWindow) {
    for (UINT ignored : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MBUTTONDOWN, WM_LBUTTONDBLCLK}) {
        icon_callback(ignored);
        EXPECT_FALSE(window_shown()) << "mouse message " << ignored;
    }
    icon_callback(WM_LBUTTONDOWN);
    EXPECT_TRUE(window_shown());
    icon_callback(WM_LBUTTONDOWN);
    EXPECT_TRUE(window_shown());
}

TEST_F(Win32WindowTest, ButtonsStopStartAndRotate) {
    click(Brevalt::Command1);
    EXPECT_EQ(sensor_.stops, 1);
    click(Brevalt::start_snort);
    EXPECT_EQ(sensor_.starts, 2);

    log_.clear();
    click(Brevalt::rotate);
    EXPECT_TRUE(has_event(log_, "sleep 8000"));
    EXPECT_TRUE(has_event(log_, "rename /opt/brevalt/log/alert.ids -> /opt/brevalt/log/alert.ids.20261206"));
    EXPECT_EQ(sensor_.stops, 2);
    EXPECT_EQ(sensor_.starts, 3);
}

}  // namespace
}  // namespace brevalt::win32
