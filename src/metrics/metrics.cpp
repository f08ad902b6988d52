#include "metrics/metrics.h"

#include <string_view>

namespace brevalt {

namespace {

// A label value as the format quotes it.
std::string label_value(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

void add(std::string& out, std::string_view name, std::string_view type, std::string_view help,
         const std::string& sample) {
    out.append("# HELP ").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
    out.append(name).append(sample).append("\n");
}

std::string value(std::uint64_t number) { return " " + std::to_string(number); }
std::string value(std::int64_t number) { return " " + std::to_string(number); }
std::string value(bool on) { return on ? " 1" : " 0"; }

}  // namespace

const char* state_name(SensorState state) {
    switch (state) {
        case SensorState::running: return "running";
        case SensorState::stopped: return "stopped";
        case SensorState::ended: return "ended";
        case SensorState::start_failed: return "start_failed";
        case SensorState::given_up: return "given_up";
        case SensorState::waiting: return "waiting";
        case SensorState::session_ended: return "session_ended";
        case SensorState::exited: return "exited";
    }
    return "unknown";
}

std::string prometheus_text(const MetricsSnapshot& s) {
    std::string out;
    add(out, "brevalt_checks_total", "counter",
        "Checks of the sensor, one every 30 seconds while this Brevalt serves the log folder.", value(s.checks));
    out.append("# HELP brevalt_sensor_state The sensor's state: 1 for the current one, 0 for the others.\n"
               "# TYPE brevalt_sensor_state gauge\n");
    for (const SensorState state : k_sensor_states) {
        out.append("brevalt_sensor_state{state=\"").append(state_name(state)).append("\"}");
        out.append(value(state == s.sensor_state)).append("\n");
    }
    add(out, "brevalt_sensor_starts_total", "counter", "Sensors this Brevalt started.", value(s.sensor_starts));
    add(out, "brevalt_sensor_ends_total", "counter", "Ends of the sensor that nobody asked for.",
        value(s.sensor_ends));
    add(out, "brevalt_rotation_scheduled", "gauge", "1 while the rotation time is a minute of the day, 0 if it never comes.",
        value(s.rotation_scheduled));
    add(out, "brevalt_rotations_total", "counter", "Log rotations, scheduled or by hand.", value(s.rotations));
    add(out, "brevalt_rotation_failures_total", "counter", "Log rotations in which a log kept its name.",
        value(s.rotation_failures));
    if (s.last_rotation_unix_seconds) {
        add(out, "brevalt_last_rotation_timestamp_seconds", "gauge", "Unix time of this Brevalt's last log rotation.",
            value(*s.last_rotation_unix_seconds));
    }
    add(out, "brevalt_keeping_failures_total", "counter", "Dated logs that could not be deleted or compressed.",
        value(s.keeping_failures));
    if (s.log_folder_free_bytes) {
        add(out, "brevalt_log_folder_free_bytes", "gauge", "Bytes free for the sensor's logs on the log folder's file system.",
            value(*s.log_folder_free_bytes));
    }
    add(out, "brevalt_start_time_seconds", "gauge",
        "Unix time of this Brevalt's start, from which its counters count.", value(s.start_unix_seconds));
    add(out, "brevalt_build_info", "gauge", "Brevalt's version and the operator whose Brevalt writes this file.",
        "{version=\"" + label_value(s.version) + "\",operator=\"" + label_value(s.operator_name) + "\"} 1");
    return out;
}

}  // namespace brevalt
