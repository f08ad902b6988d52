#include <gtest/gtest.h>

#include <string>

#include "metrics/metrics.h"

namespace brevalt {
namespace {

// Every sample has its HELP and TYPE before it, the state is one series per
// state with exactly the current one at 1, a label value that could break
// the line is escaped, and what is unknown (free space, a rotation not yet
// made) is left out rather than shown as 0.
TEST(MetricsText, EachSampleIsDescribedOneStateIsSetAndLabelValuesEscaped) {
    MetricsSnapshot snapshot;
    snapshot.sensor_state = SensorState::given_up;
    snapshot.rotations = 12;
    snapshot.checks = 7;
    snapshot.version = "1.0 \"beta\"\\\n";
    snapshot.operator_name = "alice";
    std::string text = prometheus_text(snapshot);
    EXPECT_NE(text.find("# TYPE brevalt_rotations_total counter\nbrevalt_rotations_total 12\n"), std::string::npos);
    EXPECT_NE(text.find("# TYPE brevalt_checks_total counter\nbrevalt_checks_total 7\n"), std::string::npos);
    EXPECT_NE(text.find("\nbrevalt_build_info{version=\"1.0 \\\"beta\\\"\\\\\\n\",operator=\"alice\"} 1\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("free_bytes"), std::string::npos);
    EXPECT_EQ(text.find("last_rotation"), std::string::npos);
    snapshot.log_folder_free_bytes = 0;
    snapshot.last_rotation_unix_seconds = 1796614200;
    const std::string known = prometheus_text(snapshot);
    EXPECT_NE(known.find("\nbrevalt_log_folder_free_bytes 0\n"), std::string::npos);
    EXPECT_NE(known.find("\nbrevalt_last_rotation_timestamp_seconds 1796614200\n"), std::string::npos);

    for (const SensorState state : k_sensor_states) {
        snapshot.sensor_state = state;
        text = prometheus_text(snapshot);
        std::size_t set = 0;
        std::size_t states = 0;
        for (std::size_t at = text.find("\nbrevalt_sensor_state{"); at != std::string::npos;
             at = text.find("\nbrevalt_sensor_state{", at + 1)) {
            ++states;
            const std::size_t end = text.find('\n', at + 1);
            if (text.compare(end - 2, 2, " 1") == 0) {
                ++set;
                EXPECT_NE(text.substr(at, end - at).find(std::string("\"") + state_name(state) + "\""),
                          std::string::npos);
            }
        }
        EXPECT_EQ(states, std::size(k_sensor_states));
        EXPECT_EQ(set, 1u) << state_name(state);
    }

    std::size_t samples = 0;
    std::size_t described = 0;
    std::size_t line_start = 0;
    std::string last_described;
    while (line_start < text.size()) {
        const std::size_t end = text.find('\n', line_start);
        const std::string line = text.substr(line_start, end - line_start);
        if (line.rfind("# TYPE ", 0) == 0) {
            ++described;
            last_described = line.substr(7, line.find(' ', 7) - 7);
        } else if (line[0] != '#') {
            ++samples;
            EXPECT_EQ(line.rfind(last_described, 0), 0u) << line;
        }
        line_start = end + 1;
    }
    EXPECT_EQ(samples, described + std::size(k_sensor_states) - 1);
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace brevalt
