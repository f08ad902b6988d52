#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/result.h"

// Brevalt's state as numbers for a dashboard: a snapshot the core fills and
// a writer puts into a file that an exporter's textfile collector publishes
// (node_exporter on Linux, windows_exporter on Windows). No server, no port.
namespace brevalt {

struct MetricsSnapshot {
    bool sensor_running = false;
    // Counters start from 0 with each Brevalt: Prometheus's increase()
    // reads a drop as a restart.
    std::uint64_t sensor_starts = 0;
    bool sensor_given_up = false;
    std::uint64_t rotations = 0;
    std::uint64_t rotation_failures = 0;
    std::int64_t last_rotation_unix_seconds = 0;  // 0 before the first
    // Unknown where the file system would not tell: the series is left out
    // then rather than shown as an empty disk.
    std::optional<std::uint64_t> log_folder_free_bytes;
    std::string version;
    // Further gauges of the program's state go here, each with its line in
    // prometheus_text.
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
