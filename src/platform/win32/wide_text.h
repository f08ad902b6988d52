#pragma once

#include <optional>
#include <string>
#include <string_view>

// Conversions between the program's UTF-8 texts and the UTF-16 that the wide
// Windows API takes, so that paths and captions outside the ANSI code page
// survive the trip.
namespace brevalt::win32 {

// Empty optional when `text` is not valid UTF-8.
std::optional<std::wstring> to_wide(std::string_view text);

// For window texts: UTF-8 when `text` is valid UTF-8, else read in the ANSI
// code page (a settings file written by an older editor).
std::wstring to_wide_or_ansi(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string to_utf8(std::wstring_view text);

}  // namespace brevalt::win32
