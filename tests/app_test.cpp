#include <gtest/gtest.h>

#include <algorithm>
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

// While a start-up error waits on screen for the operator, nothing else may
// happen: a panel coming up, a click or a tick must not bring an icon, a
// window or a sensor to a Brevalt that is about to end.
TEST_F(StartUpTest, AfterAStartUpErrorNoEventStartsAnything) {
    const auto inert = [this] {
        core.on_notification_area_appeared();
        core.on_icon_clicked();
        core.on_tick();
        EXPECT_FALSE(shell.icon_registered);
        EXPECT_EQ(shell.tick_interval_ms, 0u);
        EXPECT_EQ(sensor.starts, 0);
        EXPECT_EQ(sensor.stops, 0);
    };
    // No settings file.
    const auto missing = core.start_up();
    ASSERT_TRUE(missing.has_value());
    EXPECT_NE(missing->message.find("brevalt.ini"), std::string::npos);
    inert();

    // The log folder served by another Brevalt, perhaps another user's.
    test::write_file(dir / "brevalt.ini", "03:30\n");
    platform.claim = {FolderClaim::Outcome::held_elsewhere, "alice, process 4242"};
    const auto held = core.start_up();
    ASSERT_TRUE(held.has_value());
    EXPECT_NE(held->message.find("Another Brevalt already serves the log folder \"/opt/brevalt/log\" (run by alice, process 4242)"),
              std::string::npos)
        << held->message;
    inert();
}

// Where there is no log folder yet, the program folder it would be made in
// is claimed instead, so two Brevalts of one program folder still exclude
// each other.
TEST_F(StartUpTest, WithoutALogFolderTheProgramFolderIsClaimed) {
    platform.missing_folder = "/opt/brevalt/log";
    start();
    EXPECT_EQ(log, (test::EventLog{"claim /opt/brevalt/log", "claim /opt/brevalt", "sensor start"}));
}

// The end of the desktop session ends the sensor Brevalt started, giving it
// time to close its logs and killing it after that; "終了" leaves it running,
// and a process that ends after either acts no more.
TEST_F(StartUpTest, SessionEndStopsTheSensorButTheOperatorsExitLeavesIt) {
    start();
    sensor.polls_until_gone = 3;
    log.clear();
    core.end_session();
    EXPECT_TRUE(shell.ended);
    EXPECT_EQ(log, (test::EventLog{"sensor stop", "sleep 100", "sleep 100", "sensor ensure_stopped_gone"}));
    core.on_process_end();
    EXPECT_EQ(sensor.stops, 1);

    test::CoreHarness other;
    test::write_file(other.dir / "brevalt.ini", "03:30\n");
    ASSERT_FALSE(other.core.start_up().has_value());
    other.core.exit_program();
    other.core.on_process_end();  // the event loop returns after the exit
    EXPECT_EQ(other.sensor.stops, 0);

    test::CoreHarness lost_display;  // the process ends with no handler of ours
    test::write_file(lost_display.dir / "brevalt.ini", "03:30\n");
    ASSERT_FALSE(lost_display.core.start_up().has_value());
    lost_display.sensor.polls_until_gone = 1000;  // a sensor that ignores the request
    lost_display.core.on_process_end();
    EXPECT_EQ(lost_display.sensor.stops, 1);
    EXPECT_EQ(lost_display.log.back(), "sensor ensure_stopped_gone");
    EXPECT_EQ(std::count(lost_display.log.begin(), lost_display.log.end(), "sleep 100"), 30);
}

}  // namespace
}  // namespace brevalt
