#include "dpi.h"

#include "user32_function.h"

namespace brevalt::win32 {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

unsigned system_dpi() {
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<unsigned>(dpi) : k_base_dpi;
}

}  // namespace

unsigned window_dpi(HWND window) {
    static const auto get_dpi_for_window = user32_function<GetDpiForWindowFn>("GetDpiForWindow");
    if (get_dpi_for_window != nullptr) {
        const UINT dpi = get_dpi_for_window(window);
        if (dpi != 0) return dpi;
    }
    return system_dpi();
}

int twips_to_px(int twips, unsigned dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

SIZE outer_size(int client_width, int client_height, DWORD style, DWORD ex_style, unsigned dpi) {
    static const auto adjust_for_dpi = user32_function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, client_width, client_height};
    if (adjust_for_dpi != nullptr)
        adjust_for_dpi(&rect, style, TRUE, ex_style, dpi);
    else
        ::AdjustWindowRectEx(&rect, style, TRUE, ex_style);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

HFONT create_ui_font(unsigned dpi) {
    static const auto parameters_for_dpi = user32_function<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (parameters_for_dpi != nullptr &&
        parameters_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        return ::CreateFontIndirectW(&metrics.lfMessageFont);
    }
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    metrics.lfMessageFont.lfHeight =
        ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(system_dpi()));
    return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace brevalt::win32
