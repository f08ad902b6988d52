#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sensor/posix/folder_claim.h"
#include "sensor/posix/pidfd.h"
#include "sensor/sensor.h"

namespace brevalt {

// The sensor as a POSIX child process, the leader of a session and process
// group of its own: a stop reaches the whole group, so a wrapper script that
// does not exec the real sensor takes it along. A child is signalled only
// while it is known to be unreaped, or through a process descriptor: never
// by an id that may have been given to a stranger. A sensor taken over from
// an earlier Brevalt is no child of ours and is known by its descriptor.
class PosixSensor final : public Sensor {
public:
    explicit PosixSensor(std::string program_dir, std::string executable_name = "snort");
    PosixSensor(const PosixSensor&) = delete;
    PosixSensor& operator=(const PosixSensor&) = delete;

    // Leaves every sensor running: when Brevalt exits, the sensor carries on.
    ~PosixSensor() override = default;

    FolderClaim claim_folder(const std::string& folder) override;
    SensorStart start() override;
    [[nodiscard]] std::optional<long> running_pid() const override;
    void stop() override;
    void ensure_stopped_gone() override;
    bool stopped_gone() override;
    std::optional<SensorEnd> reap() override;
    [[nodiscard]] std::optional<std::intptr_t> end_handle() const override;
    void keep_output_in(const std::string& path) override { output_path_ = path; }
    [[nodiscard]] std::string output_file() const override { return output_opened_; }
    [[nodiscard]] std::optional<std::string> take_record_failure() override { return claim_.take_record_failure(); }
    [[nodiscard]] bool holds_claim() override;
    void let_go_of_folder() override { claim_.let_go(); }

    // Beside the program, then each absolute folder of PATH: never the
    // current directory, where a planted program would be run.
    [[nodiscard]] std::vector<std::string> search_folders() const;
    [[nodiscard]] std::optional<std::string> find_executable() const;

    // The remembered sensor, if one is started and not yet stopped or reaped.
    [[nodiscard]] std::optional<pid_t> current_pid() const;
    // Children not yet reaped: the remembered one, stopped ones, and ones
    // replaced by a later start.
    [[nodiscard]] std::size_t tracked_children() const;

private:
    // A sensor Brevalt started (a child) or took over, with its group.
    struct Watched {
        pid_t pid = 0;
        std::optional<PidFd> process;  // none where the kernel has no process descriptors
        bool child = false;
    };

    static bool signal_group(const Watched& sensor, int signal_number);
    static bool gone(const Watched& sensor);
    // Gives stopped sensors their grace time, then makes sure they are gone.
    void await_stopped_gone();

    std::string program_dir_;
    std::string executable_name_;
    LogFolderClaim claim_;
    std::optional<Watched> current_;
    std::vector<Watched> stopped_;  // asked to end; made sure of by ensure_stopped_gone
    // Never signalled again, only collected: sensors replaced by a later
    // start, and killed ones that were not gone within the bound.
    std::vector<pid_t> to_collect_;
    std::string output_path_;  // the sensor's standard output and error; empty: Brevalt's own
    std::string output_opened_;  // output_path_ where the last start could open it
};

}  // namespace brevalt
