#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sensor/sensor.h"
#include "sensor/win32/owned_handle.h"

namespace brevalt {

// The sensor as a child process on Windows: "snort.exe", found by the
// system's search for a bare command line (the program's own folder first,
// then the current directory, then the system folders and PATH).
//
// The folder's claim is Brevalt's own named mutex, held while this object
// lives; each sensor started on the claimed folder carries a mark naming the
// folder in its own process, so that a later Brevalt finds it and takes it
// over. Every sensor is acted on through a process handle only, never by id.
// Destroying the object closes every handle and leaves the sensor running:
// when Brevalt exits, the sensor carries on.
class Win32Sensor final : public Sensor {
public:
    FolderClaim claim_folder(const std::string& folder) override;

    // Starts another sensor, marked for the claimed folder. A sensor that
    // cannot be marked is ended again at once: a later Brevalt could not
    // find it and would start a second one beside it.
    SensorStart start() override;

    [[nodiscard]] std::optional<long> running_pid() const override;

    // Terminates the remembered sensor with exit code 0 and keeps its handle
    // until it is known to be gone. With none remembered (never started,
    // already stopped, or collected by reap) it terminates nothing.
    void stop() override;

    // TerminateProcess only begins the end: the process may still hold its
    // logs for a moment, which a rename must not race.
    void ensure_stopped_gone() override;
    bool stopped_gone() override;

    // Lets go of the handle of a sensor that has ended by itself, so that a
    // later stop has nothing stale to act on, and reports its exit code (a
    // sensor ended by another program's TerminateProcess shows that one's).
    std::optional<SensorEnd> reap() override;

    // The remembered sensor's process handle, signalled once it ends.
    [[nodiscard]] std::optional<std::intptr_t> end_handle() const override;

    void keep_output_in(const std::string& path) override { output_path_ = path; }
    [[nodiscard]] std::string output_file() const override { return output_opened_; }

private:
    struct Remembered {
        win32::OwnedHandle process;
        DWORD pid = 0;
        win32::OwnedHandle job;  // none where the system gave none
    };
    // Ends the sensor and everything it started.
    static void terminate(const Remembered& sensor);
    static bool gone(const Remembered& sensor, DWORD wait_ms = 0);

    STARTUPINFOA sensor_startup_{};
    win32::OwnedHandle claim_;
    std::wstring folder_;  // the claimed folder's canonical path, which names the marks
    std::optional<Remembered> sensor_;
    std::vector<Remembered> stopped_;  // terminated, not yet seen gone
    std::string output_path_;  // the sensor's standard output and error; empty: none given
    std::string output_opened_;  // output_path_ where the last start could open it
};

}  // namespace brevalt
