#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/result.h"

// Brevalt's state as numbers for a dashboard: a snapshot the core fills and
// a writer puts into a file that an exporter's textfile collector publishes
// (node_exporter on Linux, windows_exporter on Windows). No server, no port.
namespace brevalt {

// What the sensor is doing, and why not where it is not running. Published
// as one 0/1 series per state, so that an alert names the reason and a
// state that ended the program stays readable in its last file.
enum class SensorState {
    running,        // started or taken over by this Brevalt
    stopped,        // by the operator's "停止"
    ended,          // ended by itself; the next check starts it again
    start_failed,   // the last start did not succeed
    given_up,       // too many quick ends in a row: no further start
    waiting,        // another operator's Brevalt serves the folder
    session_ended,  // the session ended (logout, shutdown, a signal): the sensor went with it
    exited,         // "終了": Brevalt ended and left its sensor running unwatched
};
inline constexpr SensorState k_sensor_states[] = {
    SensorState::running,  SensorState::stopped, SensorState::ended,         SensorState::start_failed,
    SensorState::given_up, SensorState::waiting, SensorState::session_ended, SensorState::exited};
const char* state_name(SensorState state);

struct MetricsSnapshot {
    SensorState sensor_state = SensorState::stopped;
    // Counters start from 0 with each Brevalt (start_unix_seconds tells
    // which); Prometheus's increase() reads a drop as a restart.
    // Advanced at every 30-second check: a heartbeat that the server judges
    // by its own clock, whatever the desktop's clock says.
    std::uint64_t checks = 0;
    std::uint64_t sensor_starts = 0;
    std::uint64_t sensor_ends = 0;  // ends the sensor chose itself, not stops
    std::uint64_t rotations = 0;
    std::uint64_t rotation_failures = 0;
    std::uint64_t keeping_failures = 0;  // dated logs that could not be deleted or compressed
    // False where the rotation time is no minute of any day.
    bool rotation_scheduled = true;
    // Left out before this Brevalt's first rotation rather than shown as
    // 1970: a panel then says "no data", not "56 years ago".
    std::optional<std::int64_t> last_rotation_unix_seconds;
    std::int64_t start_unix_seconds = 0;  // this Brevalt's start
    // Unknown where the file system would not tell: the series is left out
    // then rather than shown as an empty disk.
    std::optional<std::uint64_t> log_folder_free_bytes;
    std::string version;
    // The user whose Brevalt writes the file, so that a hand-over to
    // another operator's Brevalt shows; FileMetricsWriter fills it in, as the
    // writing process knows whose it is.
    std::string operator_name;
};

// The snapshot in Prometheus's text exposition format, each metric with its
// # HELP and # TYPE lines, ending in a newline.
std::string prometheus_text(const MetricsSnapshot& snapshot);

// Puts the snapshot at `path` so that a reader sees the earlier file or the
// new one whole, never a part: a temporary file in the same folder, renamed
// into place. The file is readable by every user (the exporter runs as its
// own); the numbers say nothing about the traffic.
class MetricsWriter {
public:
    virtual ~MetricsWriter() = default;
    virtual SysResult write(const std::string& path, const MetricsSnapshot& snapshot) = 0;
};

}  // namespace brevalt
