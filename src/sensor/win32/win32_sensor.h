#pragma once

#include <windows.h>

#include "sensor/sensor.h"

namespace brevalt {

// The process and thread handles of one started sensor, closed exactly once.
// Move-only: a copy would close the same handles twice, and a handle value
// once closed may already name something else of ours.
class ProcessHandles {
public:
    ProcessHandles() = default;
    explicit ProcessHandles(const PROCESS_INFORMATION& info) : info_(info) {}
    ~ProcessHandles() { close(); }
    ProcessHandles(ProcessHandles&& other) noexcept;
    ProcessHandles& operator=(ProcessHandles&& other) noexcept;
    ProcessHandles(const ProcessHandles&) = delete;
    ProcessHandles& operator=(const ProcessHandles&) = delete;

    [[nodiscard]] bool held() const { return info_.hProcess != nullptr; }
    [[nodiscard]] const PROCESS_INFORMATION& info() const { return info_; }

    // Closes the thread handle, then the process handle, and forgets both.
    void close();

private:
    PROCESS_INFORMATION info_{};
};

// The sensor as a child process on Windows: "snort.exe", found by the
// system's search for a bare command line (the program's own folder first,
// then the current directory, then the system folders and PATH).
class Win32Sensor final : public Sensor {
public:
    // Always starts another sensor; one started earlier keeps running and
    // only its handles are let go.
    SysResult start() override;

    // Terminates the newest sensor with exit code 0 and closes its handles,
    // without waiting. With no handles held (never started, already stopped,
    // or collected by reap) it terminates and closes nothing.
    void stop() override;

    // Nothing to do: TerminateProcess cannot be refused, caught or delayed by
    // the sensor, unlike a signal, and the rotation's 8-second wait is ample
    // for the system to finish it. The handles are gone by then, so there is
    // nothing left to wait on, and keeping one only for this would hold the
    // ended process's record for no gain.
    void ensure_stopped_gone() override {}
    bool stopped_gone() override { return true; }

    // Lets go of the handles of a sensor that has ended by itself, so that a
    // later stop has nothing stale to act on, and reports its exit code (a
    // sensor ended by another program's TerminateProcess shows that one's).
    std::optional<SensorEnd> reap() override;

    // The record of the newest sensor; all zero once released.
    [[nodiscard]] const PROCESS_INFORMATION& sensor_info() const { return sensor_info_.info(); }

private:
    STARTUPINFOA sensor_startup_{};
    ProcessHandles sensor_info_;
};

}  // namespace brevalt
