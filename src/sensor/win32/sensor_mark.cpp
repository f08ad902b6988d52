#include "sensor/win32/sensor_mark.h"

#include <cstdint>
#include <optional>

#include "sensor/win32/folder_claim.h"

namespace brevalt::win32 {
namespace {

std::optional<std::uint64_t> creation_time(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
    return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

// "Global\Brevalt.C:/BREVALT/LOG.sensor.4711.1dc2a4b3c5d6e7f" (or in the
// operators' namespace): the lower-case words and digits can never form the
// upper-case name of a folder's claim.
std::wstring mark_name(const std::wstring& folder, DWORD pid, std::uint64_t created, const wchar_t* kind = L".sensor.") {
    // Widened from to_string: to_wstring would bring in a whole printf.
    std::wstring suffix = kind;
    for (const char digit : std::to_string(pid)) suffix += static_cast<wchar_t>(digit);
    suffix += L'.';
    for (int digit = 15; digit >= 0; --digit) suffix += L"0123456789abcdef"[(created >> (4 * digit)) & 0xf];
    return object_name(folder, suffix);
}

// Named like the mark, "...LOG.job.4711.1dc2a4b3c5d6e7f".
constexpr const wchar_t* k_job_kind = L".job.";

}  // namespace

OwnedHandle join_sensor_job(HANDLE process, DWORD pid, const std::wstring& folder) {
    const std::optional<std::uint64_t> created = creation_time(process);
    if (!created) return {};
    // The creator's own default access (its user, the administrators and the
    // system), so that the same user's next Brevalt may end the job; not
    // inheritable, so that the sensor's children hold no handle of it.
    SECURITY_ATTRIBUTES not_inherited{sizeof not_inherited, nullptr, FALSE};
    OwnedHandle job(::CreateJobObjectW(&not_inherited, mark_name(folder, pid, *created, k_job_kind).c_str()));
    if (!job || !::AssignProcessToJobObject(job.get(), process)) return {};
    // The name lives as long as a handle does: the sensor keeps one, so a
    // later Brevalt finds the job of a sensor left running.
    HANDLE in_sensor = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), job.get(), process, &in_sensor, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return job;
}

OwnedHandle open_sensor_job(HANDLE process, DWORD pid, const std::wstring& folder) {
    const std::optional<std::uint64_t> created = creation_time(process);
    if (!created) return {};
    return OwnedHandle(::OpenJobObjectW(JOB_OBJECT_TERMINATE | JOB_OBJECT_QUERY, FALSE,
                                        mark_name(folder, pid, *created, k_job_kind).c_str()));
}

bool job_empty(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr))
        return true;
    return accounting.ActiveProcesses == 0;
}

SysResult mark_sensor(HANDLE process, DWORD pid, const std::wstring& folder) {
    const auto failure = [](const char* call) { return SysResult::failure(call, static_cast<int>(::GetLastError())); };
    const std::optional<std::uint64_t> created = creation_time(process);
    if (!created) return failure("GetProcessTimes");
    NamedObjectSecurity security;
    if (const SysResult prepared = security.prepare(); !prepared.ok()) return prepared;
    const HANDLE mark =
        ::CreateMutexExW(security.attributes(), mark_name(folder, pid, *created).c_str(), 0, k_named_object_access);
    if (mark == nullptr) return failure("CreateMutexExW");
    // Moved, not copied, into the sensor: Brevalt's copy would keep the name
    // alive after the sensor ended. Not inheritable, so that nothing the
    // sensor starts keeps it either.
    HANDLE in_sensor = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), mark, process, &in_sensor, 0, FALSE,
                           DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE))
        return failure("DuplicateHandle");
    // The namespace that holds the mark must outlive this Brevalt as the
    // sensor does: one made again by the next Brevalt would be a new one,
    // without the mark, and a second sensor would start beside this one.
    const HANDLE names = operators_namespace().handle.get();
    if (names != nullptr &&
        !::DuplicateHandle(::GetCurrentProcess(), names, process, &in_sensor, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return failure("DuplicateHandle");
    return SysResult::success();
}

OwnedHandle open_mark(HANDLE process, DWORD pid, const std::wstring& folder) {
    const std::optional<std::uint64_t> created = creation_time(process);
    if (!created) return {};
    return OwnedHandle(::OpenMutexW(k_named_object_access, FALSE, mark_name(folder, pid, *created).c_str()));
}

}  // namespace brevalt::win32
