#pragma once

#include <windows.h>

#include <string>

namespace brevalt::win32 {

// Calls `fill(buffer, size)`, which answers as the Win32 path calls do: the
// length written, or the size needed (terminator included) when the buffer
// is too small, or 0 on failure. Empty on failure.
template <typename Fill>
std::wstring read_path(Fill fill) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = fill(path.data(), static_cast<DWORD>(path.size()));
    if (n > path.size()) {
        path.resize(n);
        n = fill(path.data(), n);
    }
    path.resize(n < path.size() ? n : 0);
    return path;
}

// A file or folder as the file system itself names it: a short name, a
// different case, a junction, a subst or mapped drive all lead to one name,
// so that two ways of naming one folder, or one executable, compare equal.
std::wstring canonical_path(const std::wstring& path);

// Whether two canonical paths name the same file. Where the file system
// could not tell the canonical name, the case of a full path may still differ.
bool same_path(const std::wstring& a, const std::wstring& b);

}  // namespace brevalt::win32
