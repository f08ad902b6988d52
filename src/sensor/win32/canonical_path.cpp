#include "sensor/win32/canonical_path.h"

#include <string_view>

namespace brevalt::win32 {

std::wstring canonical_path(const std::wstring& path) {
    // Backup semantics open a folder as well as a file; the handle, not
    // inheritable, is closed before anything can start a sensor.
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        const std::wstring final_path = read_path([handle](wchar_t* buffer, DWORD size) {
            return ::GetFinalPathNameByHandleW(handle, buffer, size, VOLUME_NAME_DOS);
        });
        ::CloseHandle(handle);
        const std::wstring_view long_path_prefix = L"\\\\?\\";
        if (final_path.starts_with(long_path_prefix)) return final_path.substr(long_path_prefix.size());
    }
    // Some file systems cannot tell (a few network and RAM-disk drivers), nor
    // can some systems past MAX_PATH: the full path stands for it then.
    const std::wstring full_path = read_path([&path](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
    return full_path.empty() ? path : full_path;
}

bool same_path(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace brevalt::win32
