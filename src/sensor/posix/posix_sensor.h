#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sensor/sensor.h"

namespace brevalt {

// The sensor as a POSIX child process. A child is signalled only while it is
// known to be unreaped: until waitpid has collected it, its process id cannot
// be given to another process, so a signal can never hit a stranger. Each id
// is dropped the moment it is reaped.
class PosixSensor final : public Sensor {
public:
    explicit PosixSensor(std::string program_dir, std::string executable_name = "snort");
    PosixSensor(const PosixSensor&) = delete;
    PosixSensor& operator=(const PosixSensor&) = delete;

    // Leaves every child running: when Brevalt exits, the sensor carries on.
    ~PosixSensor() override = default;

    SysResult start() override;
    void stop() override;
    void ensure_stopped_gone() override;
    bool stopped_gone() override;
    std::optional<SensorEnd> reap() override;

    // The remembered sensor, if one is started and not yet stopped or reaped.
    [[nodiscard]] std::optional<pid_t> current_pid() const { return current_; }
    // Children not yet reaped: the remembered one, stopped ones, and ones
    // replaced by a later start.
    [[nodiscard]] std::size_t tracked_children() const;

private:
    [[nodiscard]] std::optional<std::string> find_executable() const;

    std::string program_dir_;
    std::string executable_name_;
    std::optional<pid_t> current_;
    std::vector<pid_t> stopped_;   // asked to end; made sure of by ensure_stopped_gone
    // Never signalled again, only collected: sensors replaced by a later start,
    // and killed ones that were not gone within the bound.
    std::vector<pid_t> to_collect_;
};

}  // namespace brevalt
