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

std::string prometheus_text(const MetricsSnapshot& s) {
    std::string out;
    add(out, "brevalt_sensor_running", "gauge", "Whether a sensor started or taken over by this Brevalt runs (1) or not (0).",
        value(s.sensor_running));
    add(out, "brevalt_sensor_starts_total", "counter", "Sensors this Brevalt started since its own start.",
        value(s.sensor_starts));
    add(out, "brevalt_sensor_given_up", "gauge",
        "1 after the sensor ended quickly too many times in a row and is no longer started again.",
        value(s.sensor_given_up));
    add(out, "brevalt_rotations_total", "counter", "Log rotations since this Brevalt started, scheduled or by hand.",
        value(s.rotations));
    add(out, "brevalt_rotation_failures_total", "counter",
        "Log rotations since this Brevalt started in which a log kept its name.", value(s.rotation_failures));
    add(out, "brevalt_last_rotation_timestamp_seconds", "gauge",
        "Unix time of this Brevalt's last log rotation, 0 before the first.", value(s.last_rotation_unix_seconds));
    if (s.log_folder_free_bytes) {
        add(out, "brevalt_log_folder_free_bytes", "gauge", "Bytes free for the sensor's logs on the log folder's file system.",
            value(*s.log_folder_free_bytes));
    }
    add(out, "brevalt_info", "gauge", "Brevalt's version, as a label.",
        "{version=\"" + label_value(s.version) + "\"} 1");
    return out;
}

}  // namespace brevalt
