#include "sensor/win32/win32_sensor.h"

#include <utility>

namespace brevalt {

// The record the sensor has always been started with: 68 bytes on 32-bit.
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68);

ProcessHandles::ProcessHandles(ProcessHandles&& other) noexcept : info_(std::exchange(other.info_, {})) {}

ProcessHandles& ProcessHandles::operator=(ProcessHandles&& other) noexcept {
    if (this != &other) {
        close();
        info_ = std::exchange(other.info_, {});
    }
    return *this;
}

void ProcessHandles::close() {
    if (info_.hThread != nullptr) ::CloseHandle(info_.hThread);
    if (info_.hProcess != nullptr) ::CloseHandle(info_.hProcess);
    info_ = {};
}

SysResult Win32Sensor::start() {
    sensor_startup_.cb = sizeof(STARTUPINFOA);
    // CreateProcessA may write into its command line, so it gets a fresh
    // copy each time. Inheritance is on, as the sensor has always been
    // started; it is harmless because Brevalt opens nothing inheritable.
    char command_line[] = "snort.exe";
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, command_line, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                          &sensor_startup_, &started))
        return SysResult::failure("CreateProcessA", static_cast<int>(::GetLastError()));
    sensor_info_ = ProcessHandles(started);
    return SysResult::success();
}

void Win32Sensor::stop() {
    if (!sensor_info_.held()) return;
    ::TerminateProcess(sensor_info_.info().hProcess, 0);
    sensor_info_.close();
}

std::optional<SensorEnd> Win32Sensor::reap() {
    if (!sensor_info_.held() || ::WaitForSingleObject(sensor_info_.info().hProcess, 0) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    const bool known = ::GetExitCodeProcess(sensor_info_.info().hProcess, &code) != FALSE;
    sensor_info_.close();
    if (!known) return SensorEnd{};
    return SensorEnd{SensorEnd::How::exited, static_cast<int>(code)};
}

}  // namespace brevalt
