#include "platform/system_platform.h"

#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

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

FolderClaim claim_failed(const SysResult& result) {
    return {FolderClaim::Outcome::failed, std::string(result.failed_call) + " failed with error " +
                                              std::to_string(static_cast<DWORD>(result.error))};
}

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

// The folder as the file system itself names it: a short name, a different
// case, a junction, a subst or mapped drive all lead to one name, so that
// two ways of starting Brevalt on one folder cannot both claim it.
std::wstring canonical_path(const std::wstring& folder) {
    // Backup semantics open a folder; the handle, not inheritable, is closed
    // before anything can start a sensor.
    const HANDLE handle = ::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        const std::wstring path = read_path([handle](wchar_t* buffer, DWORD size) {
            return ::GetFinalPathNameByHandleW(handle, buffer, size, VOLUME_NAME_DOS);
        });
        ::CloseHandle(handle);
        const std::wstring_view long_path_prefix = L"\\\\?\\";
        if (path.starts_with(long_path_prefix)) return path.substr(long_path_prefix.size());
    }
    // Some file systems cannot tell (a few network and RAM-disk drivers), nor
    // can some systems past MAX_PATH: the full path stands for it then.
    const std::wstring path = read_path([&folder](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(folder.c_str(), size, buffer, nullptr);
    });
    return path.empty() ? folder : path;
}

// "Global\Brevalt.C:/PROGRAM FILES/BREVALT/LOG": one name per folder for
// every session on the machine. Object names are compared case-sensitively,
// file names are not; and a name may hold no backslash after its namespace.
std::wstring claim_name(const std::wstring& path) {
    std::wstring name = path;
    ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.data(), static_cast<int>(path.size()), name.data(),
                   static_cast<int>(name.size()));
    for (wchar_t& c : name) {
        if (c == L'\\') c = L'/';
    }
    // Object names are limited to MAX_PATH characters. A longer path keeps
    // its beginning, which a reader of the name recognises, and ends in a
    // hash of the whole (64-bit FNV-1a), which tells apart two paths that
    // differ only past the cut.
    const std::wstring prefix = L"Global\\Brevalt.";
    constexpr std::size_t k_hash_digits = 16;
    if (prefix.size() + name.size() >= MAX_PATH) {
        std::uint64_t hash = 14695981039346656037ull;
        for (const wchar_t c : name) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
        name.resize(MAX_PATH - 1 - prefix.size() - 1 - k_hash_digits);
        name += L'#';
        for (std::size_t digit = k_hash_digits; digit-- > 0;) name += L"0123456789ABCDEF"[(hash >> (4 * digit)) & 0xf];
    }
    return prefix + name;
}

// "DOMAIN\user", the owner of a claim held elsewhere; empty where the
// system does not tell.
std::string owner_of(HANDLE claim) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(claim, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return {};
    // Account and domain names are at most 256 characters.
    wchar_t user[257];
    wchar_t domain[257];
    DWORD user_size = std::size(user);
    DWORD domain_size = std::size(domain);
    SID_NAME_USE kind{};
    const BOOL found = ::LookupAccountSidW(nullptr, owner, user, &user_size, domain, &domain_size, &kind);
    ::LocalFree(descriptor);
    if (!found) return {};
    std::wstring account(domain, domain_size);
    if (!account.empty()) account += L'\\';
    return win32::to_utf8(account.append(user, user_size));
}

// Readers may read the claim's owner and wait on it, nothing else.
constexpr DWORD k_claim_access = READ_CONTROL | SYNCHRONIZE;

// Who may do what with a claim: it is owned by this process's user, as an
// elevated administrator's objects would otherwise be owned by the
// Administrators group and a second Brevalt should name the person; and
// every user may read it, so that a Brevalt in another user's session can
// say whose it is.
struct ClaimSecurity {
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    alignas(SID) BYTE everyone[SECURITY_MAX_SID_SIZE];
    alignas(ACL) BYTE acl[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
    SECURITY_DESCRIPTOR descriptor;
};

SysResult prepare(ClaimSecurity& security) {
    const auto failure = [](const char* call) { return SysResult::failure(call, static_cast<int>(::GetLastError())); };
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return failure("OpenProcessToken");
    DWORD size = sizeof security.user;
    const BOOL read = ::GetTokenInformation(token, TokenUser, security.user, size, &size);
    const SysResult token_read = read ? SysResult::success() : failure("GetTokenInformation");
    ::CloseHandle(token);
    if (!token_read.ok()) return token_read;
    size = sizeof security.everyone;
    if (!::CreateWellKnownSid(WinWorldSid, nullptr, security.everyone, &size)) return failure("CreateWellKnownSid");
    auto* acl = reinterpret_cast<ACL*>(security.acl);
    if (!::InitializeAcl(acl, sizeof security.acl, ACL_REVISION)) return failure("InitializeAcl");
    if (!::AddAccessAllowedAce(acl, ACL_REVISION, k_claim_access, security.everyone))
        return failure("AddAccessAllowedAce");
    SECURITY_DESCRIPTOR* descriptor = &security.descriptor;
    if (!::InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION))
        return failure("InitializeSecurityDescriptor");
    if (!::SetSecurityDescriptorOwner(descriptor, reinterpret_cast<TOKEN_USER*>(security.user)->User.Sid, FALSE))
        return failure("SetSecurityDescriptorOwner");
    if (!::SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE)) return failure("SetSecurityDescriptorDacl");
    return SysResult::success();
}

}  // namespace

FolderClaim SystemPlatform::claim_folder(const std::string& folder) {
    const auto wide = win32::to_wide(folder);
    if (!wide) return claim_failed(SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION));
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {FolderClaim::Outcome::missing, {}};
        return claim_failed(SysResult::failure("GetFileAttributesW", static_cast<int>(error)));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {FolderClaim::Outcome::missing, {}};

    // The claim is a named mutex: the system deletes it with its last
    // handle, so it dies with its process, crash or not.
    ClaimSecurity claim_security;
    if (const SysResult r = prepare(claim_security); !r.ok()) return claim_failed(r);
    // Not inheritable: a sensor holding it would keep the folder claimed
    // after Brevalt has ended.
    SECURITY_ATTRIBUTES security{sizeof security, &claim_security.descriptor, FALSE};
    const HANDLE claim = ::CreateMutexExW(&security, claim_name(canonical_path(*wide)).c_str(), 0, k_claim_access);
    const DWORD error = ::GetLastError();
    // Ours: the handle stays open until the process ends, when the system
    // closes it and the name is free again.
    if (claim != nullptr && error != ERROR_ALREADY_EXISTS) return {FolderClaim::Outcome::claimed, {}};
    // Access denied is a mutex of this name that does not let us read it.
    if (claim == nullptr && error != ERROR_ACCESS_DENIED)
        return claim_failed(SysResult::failure("CreateMutexExW", static_cast<int>(error)));
    FolderClaim held{FolderClaim::Outcome::held_elsewhere, {}};
    if (claim != nullptr) {
        held.detail = owner_of(claim);
        ::CloseHandle(claim);
    }
    return held;
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
