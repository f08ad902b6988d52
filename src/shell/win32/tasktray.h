#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string_view>

// The notification-area icon. It is registered in the earliest ANSI layout
// of the record, which every version of the shell accepts, and reports mouse
// actions on the icon to a hidden window as a callback message whose lParam
// is the mouse message itself.
namespace brevalt::win32::tasktray {

inline constexpr UINT k_icon_id = 0;
inline constexpr UINT k_flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;  // 7
inline constexpr UINT k_callback_message = WM_MOUSEMOVE;           // 512
inline constexpr const char* k_tip = "Brevalt";

// Registers "TaskbarCreated", which Explorer broadcasts once it has
// re-created the task bar with every icon gone, and lets it reach `window`
// even when Brevalt runs elevated and the task bar does not (the privilege
// filter would drop it). Returns the message's number.
UINT listen_for_taskbar_created(HWND window);

// The record for `callback_window` (the hidden picture box) showing `icon`.
NOTIFYICONDATAA make_tray_data(HWND callback_window, HICON icon);

// Shell_NotifyIconA(NIM_ADD), or NIM_MODIFY where the notification area
// still holds the icon (a "TaskbarCreated" that found it in place). False
// when the notification area refused the icon or there is none yet.
bool add_or_update(NOTIFYICONDATAA& tray_data);

// A balloon from the icon registered with `tray_data`: a wide record naming
// the same window and id changes only the balloon, so the icon keeps its
// earliest-layout registration. Nothing shows where the icon is not in place.
void show_balloon(const NOTIFYICONDATAA& tray_data, std::wstring_view text);

// The registered icon changes to `tray_data`'s hIcon: NIF_ICON alone, so
// nothing else about the icon moves and nothing flickers.
void show_icon(const NOTIFYICONDATAA& tray_data);

// The registered icon's tooltip, up to 127 characters: more than the
// earliest layout holds, so through a wide record as for the balloon.
void show_tip(const NOTIFYICONDATAA& tray_data, std::wstring_view tip);

// Decodes the callback's lParam, which is the mouse message itself rather
// than a coordinate, so no display scaling can disturb it: true for a left
// button press, the one action that shows the window. Moves, releases, the
// other buttons and the double-click message itself are not.
bool is_left_press(LPARAM mouse_message);

}  // namespace brevalt::win32::tasktray
