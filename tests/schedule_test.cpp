#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes.h"
#include "rotation/schedule.h"

namespace brevalt {
namespace {

class TickTest : public ::testing::Test, protected test::CoreHarness {
protected:
    void start(const std::string& time, std::int64_t start_seconds) {
        test::write_file(dir / "brevalt.ini", time + "\r\n");
        clock.set(start_seconds);
        ASSERT_FALSE(core.start_up().has_value());
        log.clear();
        platform.told.clear();
    }
    // Ticks every 30 s as the timer would; a rotation's wait moves the clock on.
    void run_ticks(int count) {
        for (int i = 0; i < count; ++i) {
            clock.advance(30);
            core.on_tick();
        }
    }
    // One tick after the clock jumped to `seconds` (sleep, a clock set, a change of summer time).
    void tick_at(std::int64_t seconds) {
        clock.set(seconds);
        core.on_tick();
    }
    [[nodiscard]] bool renamed_to(const std::string& dated_alert_log) const {
        return std::find(log.begin(), log.end(), "rename /opt/brevalt/log/alert.ids -> /opt/brevalt/log/" +
                                                     dated_alert_log) != log.end();
    }
};

TEST_F(TickTest, MidnightRotationUsesTheNewDaysDate) {
    start("00:00", test::FakeClock::at(2026, 12, 31, 23, 59, 50));
    run_ticks(1);
    EXPECT_EQ(shell.clock, "2027/01/01 0:00:20");
    EXPECT_TRUE(renamed_to("alert.ids.20270101"));
}

// The 8-second wait carries the clock into the next minute; the window keeps
// the time the schedule acted on, and the next minute clears the latch
// without a second rotation.
TEST_F(TickTest, RotationOutlastingItsMinuteRunsOnce) {
    start("09:05", test::FakeClock::at(2026, 12, 6, 9, 5, 25));
    run_ticks(1);  // 9:05:55, the wait ends at 9:06:03
    EXPECT_EQ(shell.clock, "2026/12/06 9:05:55");
    EXPECT_EQ(core.state().rotated_flag, 1);
    run_ticks(2);
    EXPECT_EQ(sensor.stops, 1);
    EXPECT_EQ(core.state().rotated_flag, 0);
}

TEST_F(TickTest, ManualRotationLeavesTheScheduleAlone) {
    start("09:05", test::FakeClock::at(2026, 12, 6, 9, 4, 0));
    core.rotate_now();  // at 09:04
    EXPECT_EQ(core.state().rotated_flag, 0);
    run_ticks(2);  // 09:04:38 nothing; 09:05:08 the scheduled rotation still runs
    EXPECT_EQ(sensor.stops, 2);
}

// Sleep, hibernation or a clock set forward carries the clock over the
// minute between two ticks: that day's rotation runs at the first tick
// after it, once, and says so; the next day's runs in its minute as ever.
TEST_F(TickTest, MinutePassedUnseenIsCaughtUpOnceAndTold) {
    start("03:30", test::FakeClock::at(2026, 12, 6, 3, 29, 20));
    run_ticks(1);
    tick_at(test::FakeClock::at(2026, 12, 6, 7, 12, 10));
    EXPECT_EQ(platform.told, (std::vector<std::string>{
                                 "notice: The rotation time 03:30 passed unseen (the clock went from 03:29:50 to "
                                 "07:12:10): the logs are rotated now",
                                 "info: The logs were rotated: alert.ids.20261206, scan.log.20261206"}));
    run_ticks(2400);  // to 03:12 the next day
    EXPECT_EQ(sensor.stops, 1);
    run_ticks(40);
    EXPECT_EQ(sensor.stops, 2);
    EXPECT_EQ(shell.notifications.size(), 1U);

    start("3:30", test::FakeClock::at(2026, 12, 8, 3, 29, 20));  // another form never matches
    tick_at(test::FakeClock::at(2026, 12, 8, 7, 12, 10));
    EXPECT_EQ(sensor.stops, 2);
}

// Asleep from Friday evening to Monday 02:00: the weekend's minutes are not
// caught up at 02:00, Monday's own minute rotates, once, under Monday's date.
// Woken the next day within the minute of the last tick before the sleep,
// that day rotates too, though the clock text is the one the latch was set on.
TEST_F(TickTest, SleepOverDaysRotatesOncePerDate) {
    start("03:30", test::FakeClock::at(2026, 12, 4, 18, 0, 0));
    tick_at(test::FakeClock::at(2026, 12, 7, 2, 0, 10));
    run_ticks(180);  // to 03:30:10, the rotation's wait to 03:30:18
    EXPECT_EQ(sensor.stops, 1);
    run_ticks(1);  // 03:30:48, the latch set
    tick_at(test::FakeClock::at(2026, 12, 8, 3, 30, 20));
    EXPECT_EQ(sensor.stops, 2);
    EXPECT_TRUE(renamed_to("alert.ids.20261207"));
    EXPECT_TRUE(renamed_to("alert.ids.20261208"));
    EXPECT_EQ(shell.notifications, std::vector<std::string>{});
}

// The wall times of Europe/Berlin: on 2026-03-29 the clock goes from
// 01:59:59 to 03:00:00, so 02:30 never comes; on 2026-10-25 it goes back from
// 03:00:00 to 02:00:00, so 02:30 comes twice, also for a program started
// between the two. A clock set back before the minute of a day already
// rotated, then forward over it, rotates that day no more either.
TEST_F(TickTest, ClockChangesSkipNoRotationAndDoubleNone) {
    start("02:30", test::FakeClock::at(2026, 3, 29, 1, 59, 20));
    run_ticks(1);
    tick_at(test::FakeClock::at(2026, 3, 29, 3, 0, 20));
    EXPECT_EQ(platform.told.front(), "notice: The rotation time 02:30 passed unseen (the clock went from 01:59:50 to "
                                     "03:00:20): the logs are rotated now");
    for (const int start_minute : {29, 45}) {
        start("02:30", test::FakeClock::at(2026, 10, 25, 2, start_minute, 20));
        run_ticks((59 - start_minute) * 2);  // to 02:59, rotating at 02:30:20 when started before
        clock.advance(-3600);
        run_ticks(120);
    }
    EXPECT_EQ(sensor.stops, 2);
    start("03:30", test::FakeClock::at(2026, 12, 6, 3, 29, 50));
    run_ticks(1);
    tick_at(test::FakeClock::at(2026, 12, 6, 3, 0, 0));
    tick_at(test::FakeClock::at(2026, 12, 6, 4, 0, 0));
    EXPECT_EQ(sensor.stops, 3);
}

}  // namespace
}  // namespace brevalt
