#include "platform/system_platform.h"

#include <windows.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/win32/wide_text.h"

namespace brevalt {

LocalTime SystemPlatform::now() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::int64_t SystemPlatform::unix_time() {
    // File time counts 100 ns steps from 1601-01-01 UTC.
    constexpr std::int64_t k_steps_per_second = 10000000;
    constexpr std::int64_t k_seconds_1601_to_1970 = 11644473600;
    FILETIME t{};
    ::GetSystemTimeAsFileTime(&t);
    const auto steps = static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    return steps / k_steps_per_second - k_seconds_1601_to_1970;
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

bool SystemPlatform::name_exists(const std::string& path) {
    const auto wide = win32::to_wide(path);
    return wide && ::GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
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
    // English where the system has its messages in English, as the Event Log
    // reader searches for them; else in the system's own language.
    constexpr DWORD k_flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n = ::FormatMessageW(k_flags, nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                               reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n == 0) {
        n = ::FormatMessageW(k_flags, nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                             nullptr);
    }
    if (n == 0 || buffer == nullptr) return "error " + std::to_string(static_cast<DWORD>(error));
    std::wstring text(buffer, n);
    ::LocalFree(buffer);
    // The system's messages end in a full stop and a line break; the texts
    // they go into carry on after them.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
    return win32::to_utf8(text);
}

bool SystemPlatform::name_taken(int error) const { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

std::string SystemPlatform::absolute_path(const std::string& path) {
    const auto wide = win32::to_wide(path);
    if (!wide) return path;
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = ::GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = ::GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    return win32::to_utf8(full);
}

bool SystemPlatform::is_folder(const std::string& path) {
    const auto wide = win32::to_wide(path);
    const DWORD attributes = wide ? ::GetFileAttributesW(wide->c_str()) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FreeSpace SystemPlatform::free_space(const std::string& folder) {
    const auto wide = win32::to_wide(folder);
    if (!wide) return {0, 0, SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION)};
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExW(wide->c_str(), &available, &total, nullptr))
        return {0, 0, SysResult::failure("GetDiskFreeSpaceExW", static_cast<int>(::GetLastError()))};
    return {available.QuadPart, total.QuadPart, SysResult::success()};
}

namespace {

// "DOMAIN\user" of this process's token; "<DOMAIN\you>" where the system
// does not tell.
std::string account_of(HANDLE token) {
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof user;
    // Account and domain names are at most 256 characters.
    wchar_t name[257];
    wchar_t domain[257];
    DWORD name_size = std::size(name);
    DWORD domain_size = std::size(domain);
    SID_NAME_USE kind{};
    if (!::GetTokenInformation(token, TokenUser, user, size, &size) ||
        !::LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(user)->User.Sid, name, &name_size, domain,
                             &domain_size, &kind))
        return "<DOMAIN\\you>";
    std::wstring account(domain, domain_size);
    if (!account.empty()) account += L'\\';
    return win32::to_utf8(account.append(name, name_size));
}

// An administrator whose token is the filtered one of User Account Control:
// the Administrators' grant counts only once Brevalt runs elevated.
bool filtered_administrator(HANDLE token) {
    TOKEN_ELEVATION_TYPE type{};
    DWORD size = sizeof type;
    return ::GetTokenInformation(token, TokenElevationType, &type, size, &size) && type == TokenElevationTypeLimited;
}

// The folder's own security descriptor decides, as it will for the sensor's
// files: group membership alone would not see an administrator's grant, nor
// a folder an operator has opened to another group.
enum class FolderAccess { writable, refused, unknown };

FolderAccess folder_access(const std::wstring& folder, HANDLE process_token) {
    constexpr SECURITY_INFORMATION k_parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    if (!::GetFileSecurityW(folder.c_str(), k_parts, nullptr, 0, &size) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        // A folder whose very permissions this user may not read is not theirs.
        return ::GetLastError() == ERROR_ACCESS_DENIED ? FolderAccess::refused : FolderAccess::unknown;
    std::string descriptor(size, '\0');
    if (!::GetFileSecurityW(folder.c_str(), k_parts, descriptor.data(), size, &size)) return FolderAccess::unknown;
    // AccessCheck takes an impersonation token only.
    HANDLE token = nullptr;
    if (!::DuplicateToken(process_token, SecurityImpersonation, &token)) return FolderAccess::unknown;
    GENERIC_MAPPING file_mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    // What the sensor and a rotation do in the folder: create the logs,
    // list it and pass through it.
    constexpr DWORD k_needed = FILE_ADD_FILE | FILE_LIST_DIRECTORY | FILE_TRAVERSE;
    PRIVILEGE_SET privileges{};
    DWORD privileges_size = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    const BOOL checked = ::AccessCheck(descriptor.data(), token, k_needed, &file_mapping, &privileges,
                                       &privileges_size, &granted, &allowed);
    ::CloseHandle(token);
    if (!checked) return FolderAccess::unknown;
    return allowed ? FolderAccess::writable : FolderAccess::refused;
}

}  // namespace

// A missing folder, or a check that cannot be made, lets Brevalt go on: the
// sensor then fails loudly on its own, and the claim is out of a
// non-member's reach anyway.
std::string SystemPlatform::user_name() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return "<DOMAIN\\you>";
    std::string account = account_of(token);
    ::CloseHandle(token);
    return account;
}

std::optional<Text> SystemPlatform::why_not_operator(const std::string& log_folder) {
    const auto wide = win32::to_wide(log_folder);
    HANDLE token = nullptr;
    if (!wide || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return {};
    std::optional<Text> why;
    if (folder_access(*wide, token) == FolderAccess::refused) {
        why = Text{filtered_administrator(token) ? TextId::not_operator_windows_admin : TextId::not_operator_windows,
                   {account_of(token)}};
    }
    ::CloseHandle(token);
    return why;
}

}  // namespace brevalt
