#include "metrics/file_metrics_writer.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace brevalt {

namespace {

SysResult last_error(const char* call) { return SysResult::failure(call, static_cast<int>(::GetLastError())); }

// A collector that has the file open without sharing its deletion (Go's
// os.Open does not share it) holds the replace off for the moment of its
// read: a few short tries get past it rather than telling the operator.
SysResult move_into_place(const std::wstring& from, const std::wstring& to) {
    constexpr int k_tries = 5;
    constexpr DWORD k_pause_ms = 20;
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return SysResult::success();
        const DWORD error = ::GetLastError();
        if (attempt == k_tries || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return SysResult::failure("MoveFileExW", static_cast<int>(error));
        }
        ::Sleep(k_pause_ms);
    }
}

}  // namespace

FileMetricsWriter::FileMetricsWriter() {
    wchar_t name[257] = {};  // UNLEN + 1
    DWORD size = 257;
    if (::GetUserNameW(name, &size)) operator_name_ = win32::to_utf8(name);
}

SysResult FileMetricsWriter::write(const std::string& path, const MetricsSnapshot& snapshot) {
    MetricsSnapshot named = snapshot;
    named.operator_name = operator_name_;
    const auto target = win32::to_wide(path);
    if (!target) return SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION);
    const std::wstring temporary = *target + L".tmp";
    // Not inheritable: the sensor starts with inheritance on. The folder's
    // own permissions decide who reads it; the exporter's service account
    // reads what its folder holds.
    const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_error("CreateFileW");
    const std::string bytes = prometheus_text(named);
    DWORD written = 0;
    SysResult result = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                               written == bytes.size()
                           ? SysResult::success()
                           : last_error("WriteFile");
    if (!::CloseHandle(file) && result.ok()) result = last_error("CloseHandle");
    if (result.ok()) result = move_into_place(temporary, *target);
    if (!result.ok()) ::DeleteFileW(temporary.c_str());
    return result;
}

}  // namespace brevalt
