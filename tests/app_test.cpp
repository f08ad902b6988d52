#include <gtest/gtest.h>

#include <string>

#include "fakes.h"

namespace brevalt {
namespace {

class StartUpTest : public ::testing::Test, protected test::CoreHarness {
protected:
    StartUpTest() { clock.set(test::FakeClock::at(2026, 12, 6, 9, 4, 7)); }
    void start(bool notification_area = true) {
        test::write_file(dir / "brevalt.ini", "03:30\r\n");
        shell.notification_area = notification_area;
        ASSERT_FALSE(core.start_up().has_value());
    }
};

TEST_F(StartUpTest, FillsTheWindowHidesItBehindTheIconStartsTheSensorAndExitLeavesItRunning) {
    start();
    EXPECT_EQ(shell.rotation_time, "03:30");
    EXPECT_EQ(shell.clock, "2026/12/06 9:04:07");
    EXPECT_EQ(shell.tick_interval_ms, 30000u);
    EXPECT_TRUE(shell.icon_picture_hidden);
    EXPECT_TRUE(shell.icon_prepared && shell.icon_registered);
    EXPECT_FALSE(shell.window_shown);
    EXPECT_EQ(sensor.starts, 1);
    EXPECT_EQ(core.state().rotation_time, "03:30");
    core.stop_sensor();
    core.start_sensor();
    core.exit_program();
    EXPECT_TRUE(shell.ended);
    EXPECT_EQ(sensor.stops, 1);
    EXPECT_EQ(sensor.starts, 2);
}

// A notification area that comes up after Brevalt (a panel started later at
// logon) gets the icon, and the window shown for want of it goes away again.
TEST_F(StartUpTest, WindowShownForAMissingIconHidesOnceTheIconIsIn) {
    start(false);
    EXPECT_TRUE(shell.window_shown);
    EXPECT_EQ(sensor.starts, 1);
    core.on_notification_area_appeared();  // a panel that still refuses the icon
    EXPECT_TRUE(shell.window_shown);
    shell.notification_area = true;
    core.on_notification_area_appeared();
    EXPECT_TRUE(shell.icon_registered);
    EXPECT_FALSE(shell.window_shown);
}

TEST_F(StartUpTest, WindowTheOperatorOpenedStaysWhenThePanelComesBack) {
    start();
    core.on_icon_clicked();
    EXPECT_TRUE(shell.window_shown);
    core.on_notification_area_appeared();
    EXPECT_TRUE(shell.window_shown);
}

}  // namespace
}  // namespace brevalt
