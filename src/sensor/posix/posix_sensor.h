#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sensor/posix/folder_holders.h"
#include "sensor/posix/pidfd.h"
#include "sensor/sensor.h"

namespace brevalt {

// The sensor as a POSIX child process. A child is signalled only while it is
// known to be unreaped: until waitpid has collected it, its process id cannot
// be given to another process, so a signal can never hit a stranger. Each id
// is dropped the moment it is reaped. A sensor taken over from an earlier
// Brevalt is no child of ours and is known by a process descriptor instead.
//
// The folder's claim is a lock on the folder itself, on a descriptor that
// every sensor started inherits: the lock lives as long as Brevalt or its
// sensor, and a later Brevalt finds the sensor by that descriptor.
class PosixSensor final : public Sensor {
public:
    explicit PosixSensor(std::string program_dir, std::string executable_name = "snort");
    PosixSensor(const PosixSensor&) = delete;
    PosixSensor& operator=(const PosixSensor&) = delete;

    // Leaves every sensor running: when Brevalt exits, the sensor carries on.
    ~PosixSensor() override;

    FolderClaim claim_folder(const std::string& folder) override;
    SysResult start() override;
    [[nodiscard]] std::optional<long> running_pid() const override;
    void stop() override;
    void ensure_stopped_gone() override;
    bool stopped_gone() override;
    std::optional<SensorEnd> reap() override;
    [[nodiscard]] std::optional<std::intptr_t> end_handle() const override;
    void keep_output_in(const std::string& path) override { output_path_ = path; }
    [[nodiscard]] std::string output_file() const override { return output_opened_; }

    // The remembered sensor, if one is started and not yet stopped or reaped.
    [[nodiscard]] std::optional<pid_t> current_pid() const { return current_; }
    // Children not yet reaped: the remembered one, stopped ones, and ones
    // replaced by a later start.
    [[nodiscard]] std::size_t tracked_children() const;

private:
    struct TakenOver {
        pid_t pid;
        PidFd process;
    };

    [[nodiscard]] std::optional<std::string> find_executable() const;
    FolderClaim settle_claim(FolderClaim claim, const FileId& folder, bool held);
    FolderClaim take_over(const FolderHolder& sensor, const FileId& folder);

    std::string program_dir_;
    std::string executable_name_;
    std::optional<pid_t> current_;
    // The remembered child's descriptor, for an event loop to see its end;
    // none where the kernel has no process descriptors.
    std::optional<PidFd> current_process_;
    std::vector<pid_t> stopped_;   // asked to end; made sure of by ensure_stopped_gone
    // Never signalled again, only collected: sensors replaced by a later start,
    // and killed ones that were not gone within the bound.
    std::vector<pid_t> to_collect_;
    std::optional<TakenOver> taken_over_;  // the remembered sensor, when it is no child of ours
    std::vector<PidFd> stopped_taken_over_;
    int claim_fd_ = -1;  // the folder's claim, handed on to every sensor started
    std::string output_path_;  // the sensor's standard output and error; empty: Brevalt's own
    std::string output_opened_;  // output_path_ where the last start could open it
};

}  // namespace brevalt
