#pragma once

#include <windows.h>

#include <string>

#include "platform/result.h"
#include "sensor/win32/owned_handle.h"

// The mark that tells a later Brevalt, for certain, which sensor an earlier
// one started on a folder: a named mutex whose name holds the folder, the
// sensor's process id and its creation time, and whose only handle lives in
// the sensor itself. The name exists exactly as long as that sensor; a
// snort.exe someone runs by hand, or a process that got a dead sensor's id,
// has none. (A mutex because a named file mapping in the global namespace
// needs a privilege that ordinary users lack.)
namespace brevalt::win32 {

// Marks the sensor just started as serving `folder` (its canonical path).
// `process` needs PROCESS_DUP_HANDLE and PROCESS_QUERY_LIMITED_INFORMATION.
SysResult mark_sensor(HANDLE process, DWORD pid, const std::wstring& folder);

// The mark of the process `process` (id `pid`) for `folder`; empty when it
// has none, or when its creation time cannot be read.
OwnedHandle open_mark(HANDLE process, DWORD pid, const std::wstring& folder);

}  // namespace brevalt::win32
