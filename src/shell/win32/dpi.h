#pragma once

#include <windows.h>

// Scaling for a per-monitor DPI-aware window. The layout is kept in twips
// (15 to a pixel at 96 dpi); everything here turns it into the pixels of the
// monitor a window is on. The per-monitor functions exist only on newer
// systems, so they are looked up at run time with the older system-wide
// calls as the fallback, and the program still starts on older Windows.
namespace brevalt::win32 {

inline constexpr unsigned k_base_dpi = 96;

// The DPI of the monitor that shows `window` (96 at 100 % scaling).
unsigned window_dpi(HWND window);

// Twips to pixels: twips / 15 at 96 dpi, proportionally more above it.
int twips_to_px(int twips, unsigned dpi);

// The outer size of a window with this style whose client area, below its
// menu bar, is `client_width` x `client_height` pixels.
SIZE outer_size(int client_width, int client_height, DWORD style, DWORD ex_style, unsigned dpi);

// The system's message font (the one dialogs use) at `dpi`; it carries the
// system's fallback for Japanese glyphs whatever the display language.
HFONT create_ui_font(unsigned dpi);

}  // namespace brevalt::win32
