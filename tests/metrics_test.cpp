#include <gtest/gtest.h>

#include <string>

#include "metrics/metrics.h"

namespace brevalt {
namespace {

// Every sample has its HELP and TYPE before it, a label value that could
// break the line is escaped, and an unknown free space is left out rather
// than shown as a full disk.
TEST(MetricsText, EachSampleIsDescribedAndLabelValuesEscaped) {
    MetricsSnapshot snapshot;
    snapshot.sensor_running = true;
    snapshot.rotations = 12;
    snapshot.last_rotation_unix_seconds = 1796614200;
    snapshot.version = "1.0 \"beta\"\\\n";
    const std::string text = prometheus_text(snapshot);
    EXPECT_NE(text.find("# TYPE brevalt_sensor_running gauge\nbrevalt_sensor_running 1\n"), std::string::npos);
    EXPECT_NE(text.find("# TYPE brevalt_rotations_total counter\nbrevalt_rotations_total 12\n"), std::string::npos);
    EXPECT_NE(text.find("\nbrevalt_last_rotation_timestamp_seconds 1796614200\n"), std::string::npos);
    EXPECT_NE(text.find("\nbrevalt_info{version=\"1.0 \\\"beta\\\"\\\\\\n\"} 1\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("free_bytes"), std::string::npos);
    snapshot.log_folder_free_bytes = 0;
    EXPECT_NE(prometheus_text(snapshot).find("\nbrevalt_log_folder_free_bytes 0\n"), std::string::npos);

    std::size_t samples = 0;
    std::size_t described = 0;
    std::size_t line_start = 0;
    while (line_start < text.size()) {
        const std::size_t end = text.find('\n', line_start);
        const std::string line = text.substr(line_start, end - line_start);
        if (line.rfind("# TYPE ", 0) == 0) ++described;
        if (line[0] != '#') ++samples;
        line_start = end + 1;
    }
    EXPECT_EQ(samples, described);
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace brevalt
