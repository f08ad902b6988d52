#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core.h"
#include "fakes.h"
#include "rotation/clock_text.h"
#include "rotation/schedule.h"
#include "temp_dir.h"

namespace brevalt {
namespace {

LocalTime at(int hour, int minute, int second) { return {2026, 12, 6, hour, minute, second}; }

TEST(ClockText, PadsSevenCharacterTimesAndKeepsHoursAndMinutes) {
    EXPECT_EQ(time_text(at(9, 5, 0)), "9:05:00");
    EXPECT_EQ(clock_text(at(9, 5, 10)), "09:05");
    EXPECT_EQ(clock_text(at(21, 5, 30)), "21:05");
    EXPECT_EQ(clock_text(at(0, 0, 20)), "00:00");
    EXPECT_EQ(clock_text(at(23, 59, 59)), "23:59");
}

TEST(ClockText, CaptionAndDateStampCarryLeadingZeros) {
    EXPECT_EQ(clock_caption({2027, 1, 2, 3, 4, 5}), "2027/01/02 3:04:05");
    EXPECT_EQ(clock_caption({2026, 12, 31, 23, 59, 0}), "2026/12/31 23:59:00");
    EXPECT_EQ(date_stamp({2027, 1, 2, 0, 0, 0}), "20270102");
}

// Runs the schedule alone on a sequence of clock texts; returns which ticks rotated.
std::vector<int> rotating_ticks(const std::string& rotation_time, const std::vector<std::string>& clocks) {
    Module1 state;
    state.rotation_time = rotation_time;
    std::vector<int> rotated;
    for (int i = 0; i < static_cast<int>(clocks.size()); ++i) {
        bool ran = false;
        schedule_tick(state, clocks[static_cast<std::size_t>(i)], [&] { ran = true; });
        if (ran) rotated.push_back(i);
    }
    return rotated;
}

TEST(ScheduleLatch, RotatesOncePerMatchingMinuteAndAgainNextDay) {
    EXPECT_EQ(rotating_ticks("09:05", {"09:04", "09:05", "09:05", "09:06", "09:06"}), std::vector<int>{1});
    EXPECT_EQ(rotating_ticks("09:05", {"09:05", "09:05", "09:06", "09:05"}), (std::vector<int>{0, 3}));
    EXPECT_TRUE(rotating_ticks("9:05", {"09:05", "09:05"}).empty());
    EXPECT_TRUE(rotating_ticks("", {"00:00", "23:59"}).empty());
}

class TickTest : public ::testing::Test, protected test::CoreHarness {
protected:
    void start(const std::string& time, std::int64_t start_seconds) {
        test::write_file(dir / "brevalt.ini", time + "\r\n");
        clock.set(start_seconds);
        ASSERT_FALSE(core.Form_Load().has_value());
        log.clear();
    }
    // Ticks every 30 s as the timer would; a rotation's wait moves the clock on.
    int run_ticks(int count) {
        int rotations = 0;
        for (int i = 0; i < count; ++i) {
            const int before = sensor.stops;
            clock.advance(30);
            core.Timer1_Timer();
            rotations += sensor.stops - before;
        }
        return rotations;
    }
};

TEST_F(TickTest, RefreshesTheClockThenRotatesInTheConfiguredMinute) {
    start("09:05", test::FakeClock::at(2026, 12, 6, 9, 4, 10));
    core.Timer1_Timer();  // 9:04:10, no match
    ASSERT_EQ(log, std::vector<std::string>{"Label1 2026/12/06 9:04:10"});
    log.clear();
    clock.set(test::FakeClock::at(2026, 12, 6, 9, 5, 10));
    core.Timer1_Timer();
    const std::vector<std::string> expected = {
        "Label1 2026/12/06 9:05:10",
        "sensor stop",
        "sleep 8000",
        "sensor ensure_stopped_gone",
        "program_dir",
        "rename /opt/brevalt/log/alert.ids -> /opt/brevalt/log/alert.ids.20261206",
        "rename /opt/brevalt/log/scan.log -> /opt/brevalt/log/scan.log.20261206",
        "sensor start",
    };
    EXPECT_EQ(log, expected);
    // The label keeps the tick's time until the next tick, though the wait moved the clock on.
    EXPECT_EQ(shell.clock_caption, "2026/12/06 9:05:10");
    EXPECT_EQ(core.state().rotated_flag, 1);
}

TEST_F(TickTest, MidnightRotationUsesTheNewDaysDate) {
    start("00:00", test::FakeClock::at(2026, 12, 31, 23, 59, 50));
    ASSERT_EQ(run_ticks(1), 1);  // 00:00:20
    EXPECT_EQ(log.at(5), "rename /opt/brevalt/log/alert.ids -> /opt/brevalt/log/alert.ids.20270101");
}

TEST_F(TickTest, RotationOutlastingItsMinuteDoesNotRepeat) {
    start("09:05", test::FakeClock::at(2026, 12, 6, 9, 5, 50));
    platform.sleep_advances_clock = false;
    core.Timer1_Timer();  // 9:05:50 rotates
    clock.set(test::FakeClock::at(2026, 12, 6, 9, 6, 30));
    core.Timer1_Timer();  // the first tick after it sees 09:06 and clears
    EXPECT_EQ(sensor.stops, 1);
    EXPECT_EQ(core.state().rotated_flag, 0);
}

TEST_F(TickTest, ManualRotationLeavesTheScheduleAlone) {
    start("09:05", test::FakeClock::at(2026, 12, 6, 9, 4, 0));
    core.rotate_Click();  // at 09:04
    EXPECT_EQ(core.state().rotated_flag, 0);
    EXPECT_EQ(run_ticks(2), 1);  // 09:04:38 nothing; 09:05:08 the scheduled rotation still runs

    // A manual rotation inside the matching minute neither sets nor clears the latch.
    start("10:00", test::FakeClock::at(2026, 12, 6, 9, 59, 45));
    EXPECT_EQ(run_ticks(1), 1);  // 10:00:15 rotates, latch set
    core.rotate_Click();
    EXPECT_EQ(core.state().rotated_flag, 1);
}

}  // namespace
}  // namespace brevalt
