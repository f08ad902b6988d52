#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>
#include <utility>

namespace brevalt::win32 {

std::optional<std::wstring> to_wide(std::string_view text) {
    if (text.empty()) return std::wstring();
    if (text.size() > INT_MAX) return std::nullopt;
    const int in_size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), in_size, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), in_size, wide.data(), n) != n)
        return std::nullopt;
    return wide;
}

std::wstring to_wide_or_ansi(std::string_view text) {
    if (auto wide = to_wide(text)) return *std::move(wide);
    if (text.size() > INT_MAX) return {};
    const int in_size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), in_size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), in_size, wide.data(), n);
    return wide;
}

std::string to_utf8(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int in_size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), in_size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), in_size, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

}  // namespace brevalt::win32
