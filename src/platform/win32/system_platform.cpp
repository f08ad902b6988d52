#include "platform/system_platform.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace brevalt {

LocalTime SystemPlatform::now() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

void SystemPlatform::sleep_ms(unsigned milliseconds) { ::Sleep(milliseconds); }

ProgramDir SystemPlatform::program_dir() {
    // The returned length is all we trust: a path that did not fit comes back
    // cut to the buffer, and not every implementation terminates it then.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {{}, SysResult::failure("GetModuleFileNameW", static_cast<int>(::GetLastError()))};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        // Long-path names go up to 32767 characters.
        if (path.size() >= 32768) return {{}, SysResult::failure("GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER)};
        path.resize(path.size() * 2);
    }
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return {{}, SysResult::failure("GetModuleFileNameW", ERROR_BAD_PATHNAME)};
    // At a drive root ("C:\brevalt.exe") the separator stays: "C:" alone
    // would mean the current directory of drive C.
    path.resize(cut > 0 && path[cut - 1] == L':' ? cut + 1 : cut);
    return {win32::to_utf8(path), SysResult::success()};
}

char SystemPlatform::path_separator() const { return '\\'; }

SysResult SystemPlatform::rename_no_replace(const std::string& from, const std::string& to) {
    const auto wide_from = win32::to_wide(from);
    const auto wide_to = win32::to_wide(to);
    if (!wide_from || !wide_to) return SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION);
    // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing target,
    // so an earlier dated log is never overwritten.
    if (!::MoveFileExW(wide_from->c_str(), wide_to->c_str(), 0))
        return SysResult::failure("MoveFileExW", static_cast<int>(::GetLastError()));
    return SysResult::success();
}

}  // namespace brevalt
