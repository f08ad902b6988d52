#include "keeping/win32/win32_log_folder.h"

#include <windows.h>
// After windows.h, which it needs.
#include <winioctl.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/win32/wide_text.h"
#include "sensor/win32/owned_handle.h"

namespace brevalt {

namespace {

SysResult last_error(const char* call) { return SysResult::failure(call, static_cast<int>(::GetLastError())); }

SysResult not_utf8() { return SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION); }

std::optional<std::wstring> wide_path(const std::string& folder, const std::string& name) {
    auto path = win32::to_wide(folder);
    const auto wide_name = win32::to_wide(name);
    if (!path || !wide_name) return std::nullopt;
    if (!path->empty() && path->back() != L'\\' && path->back() != L'/') *path += L'\\';
    return *path + *wide_name;
}

// A search of FindFirstFileExW, which FindClose ends, not CloseHandle.
class FolderSearch {
public:
    explicit FolderSearch(HANDLE search) : search_(search) {}
    ~FolderSearch() {
        if (search_ != INVALID_HANDLE_VALUE) ::FindClose(search_);
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    [[nodiscard]] HANDLE get() const { return search_; }

private:
    HANDLE search_;
};

FolderEntry::Kind kind_of(DWORD attributes) {
    // A junction or a folder's symbolic link carries both flags; deleting it
    // as a file would fail, and following it would reach another folder.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FolderEntry::Kind::other;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FolderEntry::Kind::link;
    return FolderEntry::Kind::file;
}

// Seconds between a file time and `now`, both in 100-nanosecond steps.
std::int64_t seconds_between(const FILETIME& then, const FILETIME& now) {
    const auto ticks = [](const FILETIME& t) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
    };
    return (ticks(now) - ticks(then)) / 10000000;
}

// What a file system without compression answers to FSCTL_SET_COMPRESSION.
bool volume_cannot(DWORD error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER;
}

}  // namespace

SysResult Win32LogFolder::list(const std::string& folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    const auto pattern = wide_path(folder, "*");
    if (!pattern) return not_utf8();
    WIN32_FIND_DATAW found{};
    // Basic: no short 8.3 names, which only slow a year's folder down.
    const FolderSearch search(::FindFirstFileExW(pattern->c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                                 nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (search.get() == INVALID_HANDLE_VALUE) {
        // Only a drive's root lacks "." and "..": empty, not missing. No
        // log folder yet: nothing to keep, and the rotation tells of it.
        if (const DWORD error = ::GetLastError(); error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return SysResult::success();
        }
        return last_error("FindFirstFileExW");
    }
    FILETIME listed{};
    ::GetSystemTimeAsFileTime(&listed);
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({win32::to_utf8(name), kind_of(found.dwFileAttributes),
                           (found.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) != 0,
                           seconds_between(found.ftLastWriteTime, listed)});
    } while (::FindNextFileW(search.get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES) return last_error("FindNextFileW");
    return SysResult::success();
}

SysResult Win32LogFolder::remove(const std::string& folder, const std::string& name) {
    const auto path = wide_path(folder, name);
    if (!path) return not_utf8();
    if (!::DeleteFileW(path->c_str())) return last_error("DeleteFileW");
    return SysResult::success();
}

SysResult Win32LogFolder::mark(const std::string& folder, const std::string& name) {
    const auto path = wide_path(folder, name);
    if (!path) return not_utf8();
    constexpr DWORD k_share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE made = ::CreateFileW(path->c_str(), GENERIC_WRITE, k_share_all, nullptr, OPEN_ALWAYS,
                                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (made == INVALID_HANDLE_VALUE) return last_error("CreateFileW");
    ::CloseHandle(made);
    return SysResult::success();
}

int Win32LogFolder::local_date() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return local.wYear * 10000 + local.wMonth * 100 + local.wDay;
}

LogFolder::CompressResult Win32LogFolder::compress(const std::string& folder, const std::string& name, bool /*settled*/,
                                                   const std::atomic<bool>& stop) {
    if (stop.load()) return {Compressed::stopped, SysResult::success()};
    const auto path = wide_path(folder, name);
    if (!path) return {Compressed::failed, not_utf8()};
    // Readers may go on reading while NTFS rewrites the file, and the file
    // may be moved or deleted meanwhile (a log forwarder, an operator); no
    // one may write. A log another program holds open for writing is left
    // for a later pass. The link itself is opened, never its target, and the
    // handle is never inherited by the sensor.
    const HANDLE opened =
        ::CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_SHARING_VIOLATION) return {Compressed::in_use, last_error("CreateFileW")};
        return {Compressed::failed, last_error("CreateFileW")};
    }
    const win32::OwnedHandle file(opened);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info))
        return {Compressed::failed, last_error("GetFileInformationByHandle")};
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return {Compressed::failed, SysResult::failure("GetFileInformationByHandle", ERROR_NOT_SUPPORTED)};
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) != 0) return {Compressed::done, SysResult::success()};

    // Asking the volume costs nothing next to compressing a day's log.
    DWORD volume_flags = 0;
    if (::GetVolumeInformationByHandleW(file.get(), nullptr, 0, nullptr, nullptr, &volume_flags, nullptr, 0) &&
        (volume_flags & FILE_FILE_COMPRESSION) == 0)
        return {Compressed::volume_cannot, SysResult::failure("GetVolumeInformationByHandleW", ERROR_NOT_SUPPORTED)};

    // One call compresses the whole file; it cannot be cut short, so the
    // last chance to stop is before it.
    if (stop.load()) return {Compressed::stopped, SysResult::success()};
    USHORT format = COMPRESSION_FORMAT_DEFAULT;
    DWORD returned = 0;
    if (!::DeviceIoControl(file.get(), FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned, nullptr)) {
        const SysResult failure = last_error("DeviceIoControl");
        return {volume_cannot(static_cast<DWORD>(failure.error)) ? Compressed::volume_cannot : Compressed::failed,
                failure};
    }
    return {Compressed::done, SysResult::success()};
}

}  // namespace brevalt
