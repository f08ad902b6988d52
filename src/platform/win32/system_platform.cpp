#include "platform/system_platform.h"

#include <windows.h>

#include <string>
#include <string_view>

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

namespace {

// Message 1 of the message table in brevalt.exe is an event's own text
// ("%1"); the installer registers brevalt.exe as the message file of the
// source "Brevalt", so that Event Viewer shows the text as written.
constexpr DWORD k_event_text_id = 1;

WORD event_type(Priority priority) {
    switch (priority) {
    case Priority::err: return EVENTLOG_ERROR_TYPE;
    case Priority::warning: return EVENTLOG_WARNING_TYPE;
    case Priority::notice:
    case Priority::info: break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

// The Application log under the source "Brevalt", and standard error, where a
// console or a redirected launch shows it.
void SystemPlatform::log_event(Priority priority, std::string_view text) {
    static const HANDLE source = ::RegisterEventSourceW(nullptr, L"Brevalt");
    const std::wstring wide = win32::to_wide_or_ansi(text);
    const wchar_t* strings[] = {wide.c_str()};
    if (source != nullptr) {
        ::ReportEventW(source, event_type(priority), 0, k_event_text_id, nullptr, 1, 0, strings, nullptr);
    }
    const HANDLE error_output = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error_output == nullptr || error_output == INVALID_HANDLE_VALUE) return;
    const std::string line = "brevalt: " + std::string(text) + "\r\n";
    DWORD written = 0;
    ::WriteFile(error_output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string SystemPlatform::error_text(int error) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n == 0 || buffer == nullptr) return "error " + std::to_string(static_cast<DWORD>(error));
    std::wstring text(buffer, n);
    ::LocalFree(buffer);
    // The system's messages end in a full stop and a line break; the texts
    // they go into carry on after them.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
    return win32::to_utf8(text);
}

bool SystemPlatform::name_taken(int error) const { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

FreeSpace SystemPlatform::free_space(const std::string& folder) {
    const auto wide = win32::to_wide(folder);
    if (!wide) return {0, 0, SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION)};
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExW(wide->c_str(), &available, &total, nullptr))
        return {0, 0, SysResult::failure("GetDiskFreeSpaceExW", static_cast<int>(::GetLastError()))};
    return {available.QuadPart, total.QuadPart, SysResult::success()};
}

}  // namespace brevalt
