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

// The sensor's job object: the sensor and every process it starts, so that
// a stop ends them all (a batch file that starts the real sensor, say). The
// job outlives Brevalt with the sensor; exit leaves them all running.
// Empty where the system refuses a job: the sensor then runs without one.
OwnedHandle join_sensor_job(HANDLE process, DWORD pid, const std::wstring& folder);
// The job of a sensor left running on `folder`, for the Brevalt taking it over.
OwnedHandle open_sensor_job(HANDLE process, DWORD pid, const std::wstring& folder);
// True once no process of `job` is left (or the system does not tell).
bool job_empty(HANDLE job);

}  // namespace brevalt::win32
