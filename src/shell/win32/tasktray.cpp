#include "tasktray.h"

#include "user32_function.h"

#include <cstring>
#include <iterator>
#include <string_view>

namespace brevalt::win32::tasktray {

static_assert(k_flags == 7 && k_callback_message == 512);
static_assert(sizeof(void*) != 4 || NOTIFYICONDATAA_V1_SIZE == 88, "the earliest layout is 88 bytes on 32-bit");

UINT listen_for_taskbar_created(HWND window) {
    const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    // Windows 7 and later; before it, no filter stood in the way.
    using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto allow =
        user32_function<ChangeWindowMessageFilterExFn>("ChangeWindowMessageFilterEx");
    if (message != 0 && allow != nullptr) allow(window, message, 1 /* MSGFLT_ALLOW */, nullptr);
    return message;
}

NOTIFYICONDATAA make_tray_data(HWND callback_window, HICON icon) {
    NOTIFYICONDATAA tray_data{};
    tray_data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tray_data.hWnd = callback_window;
    tray_data.uID = k_icon_id;
    tray_data.uFlags = k_flags;
    tray_data.uCallbackMessage = k_callback_message;
    tray_data.hIcon = icon;
    // The earliest layout has room for 63 characters and the terminator.
    static_assert(std::string_view(k_tip).size() < 64);
    std::memcpy(tray_data.szTip, k_tip, std::strlen(k_tip) + 1);
    return tray_data;
}

bool add_or_update(NOTIFYICONDATAA& tray_data) {
    return ::Shell_NotifyIconA(NIM_ADD, &tray_data) != FALSE || ::Shell_NotifyIconA(NIM_MODIFY, &tray_data) != FALSE;
}

namespace {

// A wide record naming the window and id of the icon registered with
// `tray_data`: it changes only what `flags` names, and the icon keeps its
// earliest-layout registration.
NOTIFYICONDATAW wide_record(const NOTIFYICONDATAA& tray_data, UINT flags) {
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = tray_data.hWnd;
    record.uID = tray_data.uID;
    record.uFlags = flags;
    return record;
}

}  // namespace

void show_icon(const NOTIFYICONDATAA& tray_data) {
    NOTIFYICONDATAA icon = tray_data;
    icon.uFlags = NIF_ICON;
    ::Shell_NotifyIconA(NIM_MODIFY, &icon);
}

void show_tip(const NOTIFYICONDATAA& tray_data, std::wstring_view tip) {
    NOTIFYICONDATAW record = wide_record(tray_data, NIF_TIP);
    tip.copy(record.szTip, std::size(record.szTip) - 1);
    ::Shell_NotifyIconW(NIM_MODIFY, &record);
}

void show_balloon(const NOTIFYICONDATAA& tray_data, std::wstring_view text) {
    NOTIFYICONDATAW balloon = wide_record(tray_data, NIF_INFO);
    balloon.dwInfoFlags = NIIF_WARNING;
    // Both fields hold their terminator; a longer text is cut.
    text.copy(balloon.szInfo, std::size(balloon.szInfo) - 1);
    std::wstring_view(L"Brevalt").copy(balloon.szInfoTitle, std::size(balloon.szInfoTitle) - 1);
    ::Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

bool is_left_press(LPARAM mouse_message) { return LOWORD(mouse_message) == WM_LBUTTONDOWN; }

}  // namespace brevalt::win32::tasktray
