#include "metrics/file_metrics_writer.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace brevalt {

namespace {

SysResult last_error(const char* call) { return SysResult::failure(call, static_cast<int>(::GetLastError())); }

}  // namespace

SysResult FileMetricsWriter::write(const std::string& path, const MetricsSnapshot& snapshot) {
    const auto target = win32::to_wide(path);
    if (!target) return SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION);
    const std::wstring temporary = *target + L".tmp";
    // Not inheritable: the sensor starts with inheritance on. The folder's
    // own permissions decide who reads it; the exporter's service account
    // reads what its folder holds.
    const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_error("CreateFileW");
    const std::string bytes = prometheus_text(snapshot);
    DWORD written = 0;
    SysResult result = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                               written == bytes.size()
                           ? SysResult::success()
                           : last_error("WriteFile");
    if (!::CloseHandle(file) && result.ok()) result = last_error("CloseHandle");
    if (result.ok() && !::MoveFileExW(temporary.c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING)) {
        result = last_error("MoveFileExW");
    }
    if (!result.ok()) ::DeleteFileW(temporary.c_str());
    return result;
}

}  // namespace brevalt
