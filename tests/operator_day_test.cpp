// An operator's day on fakes: every action on record, the settings read
// again while the sensor runs, a sensor put in place late.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes.h"

namespace brevalt {
namespace {

class OperatorDayTest : public ::testing::Test, protected test::CoreHarness {
protected:
    OperatorDayTest() { clock.set(test::FakeClock::at(2026, 12, 6, 9, 4, 7)); }
    void start(const std::string& settings = "03:30\n") { ASSERT_TRUE(started(settings)); }
    // The system log's lines at `priority` from `from` on.
    std::vector<std::string> told(const std::string& priority, std::size_t from = 0) const {
        std::vector<std::string> lines;
        for (std::size_t i = from; i < platform.told.size(); ++i) {
            if (platform.told[i].rfind(priority + ": ", 0) == 0) lines.push_back(platform.told[i].substr(priority.size() + 2));
        }
        return lines;
    }
};

TEST_F(OperatorDayTest, EveryChoiceInTheWindowIsOnRecordWithTheUserAndWhatBecameOfTheSensor) {
    start();
    const std::size_t notifications = shell.notifications.size();
    core.stop_sensor();
    core.start_sensor();
    core.rotate_now();
    core.exit_program();
    EXPECT_EQ(told("notice"), (std::vector<std::string>{
                                  "operator chose 停止 in the window: no sensor runs",
                                  "operator chose Snort実行 in the window: the sensor runs (process 1002)",
                                  "operator chose 再起動 in the window: the sensor runs (process 1003)",
                                  "operator chose 終了 in the window: Brevalt ends; the sensor (process 1003) runs on, "
                                  "unwatched"}));
    EXPECT_EQ(shell.notifications.size(), notifications) << "a record interrupts nobody";
}

TEST_F(OperatorDayTest, SignalsAndTheSessionsEndAreOnRecordWithTheSender) {
    start();
    core.end_session(SignalSender{"SIGTERM", 77, "root"});
    EXPECT_EQ(told("notice").back(),
              "Brevalt received SIGTERM from process 77 of user root: Brevalt ended with its sensor; no sensor runs");
    EXPECT_EQ(sensor.stops, 1);

    test::CoreHarness other;
    ASSERT_TRUE(other.started());
    other.core.on_process_end();
    other.core.on_process_end();
    EXPECT_EQ(std::count(other.platform.told.begin(), other.platform.told.end(),
                         "notice: The desktop session of operator ended: the sensor was stopped; no sensor runs"),
              1);
}

// The settings read again move the rotation to the new time; the sensor runs
// on, untouched, and the time box and tooltip follow.
TEST_F(OperatorDayTest, ReloadMovesTheRotationWithoutStoppingTheSensor) {
    start("03:30\n");
    const std::size_t from = platform.told.size();
    test::write_file(dir / "brevalt.ini", "09:10\nkeep=2\ncompress=yes\n");
    core.reload_settings(SignalSender{"SIGHUP", 99, "alice"});
    EXPECT_EQ(sensor.stops, 0);
    EXPECT_EQ(sensor.starts, 1);
    EXPECT_EQ(shell.rotation_time, "09:10");
    EXPECT_EQ(shell.icon_states.back(), "running: Brevalt: sensor running since 09:04, next rotation 09:10");
    EXPECT_EQ(told("notice", from),
              (std::vector<std::string>{
                  R"(The settings file ")" + (dir / "brevalt.ini").string() + R"(" was read again: rotation time 03:30 → 09:10, keep off → 2, compress no → yes)",
                  "Brevalt received SIGHUP from process 99 of user alice: the settings were read again; the sensor "
                  "runs (process 1001)"}));
    ASSERT_FALSE(keeper.passes.empty());
    EXPECT_EQ(keeper.passes.back().second.keep_dates, 2U) << "the new keeping applies at once";
    for (int tick = 0; tick < 16; ++tick) {  // to past 09:11
        clock.advance(30);
        core.on_tick();
    }
    EXPECT_EQ(sensor.stops, 1) << "rotated at the new minute";

    // A file that does not read leaves what is in force.
    test::write_file(dir / "brevalt.ini", "10:00\nkeep=many\n");
    core.reload_settings();
    EXPECT_EQ(shell.rotation_time, "09:10");
    ASSERT_GE(shell.notifications.size(), 2U);
    EXPECT_NE(shell.notifications.end()[-2].find("keep takes the number of dates"), std::string::npos);
    EXPECT_EQ(shell.notifications.back(),
              "The settings in force stay: rotation time 09:10, keep 2, compress yes, metrics off");
}

TEST_F(OperatorDayTest, AMissingSensorIsLookedForAtEveryCheckAndToldOnce) {
    SensorStart missing = SensorStart::because(SensorStart::Outcome::not_found);
    missing.executable = "snort";
    missing.searched = "/opt/brevalt, /usr/bin";
    sensor.start_result = missing;
    start();
    const auto errors = [this] { return told("err"); };
    EXPECT_EQ(errors(), (std::vector<std::string>{R"(The sensor could not be started: no executable "snort" in )"
                                                  "/opt/brevalt, /usr/bin. Brevalt looks again at every check and "
                                                  "starts it once it is there"}));
    for (int i = 0; i < 3; ++i) {
        clock.advance(30);
        core.on_tick();
    }
    EXPECT_EQ(sensor.starts, 4) << "looked for at every check";
    EXPECT_EQ(errors().size(), 1U) << "and told once";
    sensor.start_result = SensorStart::done();
    clock.advance(30);
    core.on_tick();
    EXPECT_TRUE(sensor.running_pid().has_value());
    EXPECT_EQ(told("notice").back(), R"(The sensor "snort" is there now and was started)");
    EXPECT_EQ(shell.icon_states.back().rfind("running: ", 0), 0U);
    clock.advance(30);
    core.on_tick();
    EXPECT_EQ(sensor.starts, 5) << "a sensor that runs is not started again";

    // The operator's stop ends the looking.
    sensor.start_result = missing;
    core.stop_sensor();
    core.start_sensor();
    const int starts = sensor.starts;
    core.stop_sensor();
    clock.advance(30);
    core.on_tick();
    EXPECT_EQ(sensor.starts, starts);
}

}  // namespace
}  // namespace brevalt
