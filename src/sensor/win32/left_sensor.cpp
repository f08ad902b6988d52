#include "sensor/win32/left_sensor.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "platform/win32/wide_text.h"
#include "sensor/win32/canonical_path.h"
#include "sensor/win32/folder_claim.h"
#include "sensor/win32/sensor_mark.h"

namespace brevalt::win32 {
namespace {

constexpr const wchar_t* k_sensor_file_name = L"snort.exe";

// The first snort.exe in `folders` (SearchPathW's own search where null).
std::wstring search(const wchar_t* folders) {
    return read_path([folders](wchar_t* buffer, DWORD size) {
        return ::SearchPathW(folders, k_sensor_file_name, nullptr, size, buffer, nullptr);
    });
}

// What CreateProcessA runs for the bare command "snort.exe": the one in
// brevalt.exe's folder, else in the current folder, else in the system
// folders and PATH, where SearchPathW looks in the same order once those
// two folders are ruled out. Empty when there is none.
std::wstring sensor_executable() {
    std::wstring program(32768, L'\0');
    program.resize(::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
    program.resize(program.find_last_of(L'\\') + 1);
    std::wstring found = search(program.c_str());
    if (found.empty()) found = search(L".");
    if (found.empty()) found = search(nullptr);
    return found;
}

std::wstring image_of(HANDLE process) {
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    image.resize(::QueryFullProcessImageNameW(process, 0, image.data(), &size) ? size : 0);
    return image;
}

// The process `pid` named snort.exe, if it is a sensor left on `folder`.
LeftSensor examine(DWORD pid, const std::wstring& folder) {
    LeftSensor found{FolderClaim::of(FolderClaim::Outcome::claimed)};
    found.process = OwnedHandle(
        ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!found.process) {
        // Another user's sensor, which this user may not stop, would still
        // write every alert twice beside a second one.
        if (::GetLastError() != ERROR_ACCESS_DENIED) return found;
        const OwnedHandle readable(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        // A snort.exe this Brevalt cannot even query may be a sensor left on
        // this very folder: waited for, never doubled.
        if (!readable) {
            found.claim = FolderClaim::of(FolderClaim::Outcome::held_by_unknown);
            return found;
        }
        const OwnedHandle mark = open_mark(readable.get(), pid, folder);
        if (!mark) return found;
        found.claim = FolderClaim::held_by(FolderClaim::Outcome::left_by_other_user,
                                           {ClaimHolder::Kind::sensor, owner_of(mark.get()), static_cast<long>(pid)});
        return found;
    }
    const OwnedHandle mark = open_mark(found.process.get(), pid, folder);
    if (!mark) {
        found.process.reset();
        return found;
    }
    // Another operator's sensor, which the operators' group may end: it is
    // still theirs, waited for as on any other system.
    if (!owned_by_this_user(mark.get())) {
        found.process.reset();
        found.claim = FolderClaim::held_by(FolderClaim::Outcome::left_by_other_user,
                                           {ClaimHolder::Kind::sensor, owner_of(mark.get()), static_cast<long>(pid)});
        return found;
    }
    // The same folder, but a sensor started from another program folder whose
    // log folder is this one: not ours to watch, and not to be doubled.
    const std::wstring image = image_of(found.process.get());
    const std::wstring executable = sensor_executable();
    if (executable.empty() || image.empty() || !same_path(canonical_path(image), canonical_path(executable))) {
        found.process.reset();
        found.claim.outcome = FolderClaim::Outcome::failed;
        found.claim.failure.append("the sensor left running on it by an earlier Brevalt (process ")
            .append(std::to_string(pid))
            .append(") is ")
            .append(to_utf8(image))
            .append(", not the snort.exe this Brevalt starts");
        return found;
    }
    found.claim = FolderClaim::taken_over_from(static_cast<long>(pid));
    return found;
}

}  // namespace

LeftSensor find_left_sensor(const std::wstring& folder) {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return {claim_failed(SysResult::failure("CreateToolhelp32Snapshot", static_cast<int>(::GetLastError())))};
    const OwnedHandle processes(snapshot);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, k_sensor_file_name, -1, TRUE) != CSTR_EQUAL) continue;
        LeftSensor found = examine(entry.th32ProcessID, folder);
        if (found.claim.outcome != FolderClaim::Outcome::claimed) return found;
    }
    return {FolderClaim::of(FolderClaim::Outcome::claimed)};
}

}  // namespace brevalt::win32
