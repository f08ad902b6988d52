#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core.h"
#include "fakes.h"
#include "temp_dir.h"

namespace brevalt {
namespace {

class StartupTest : public ::testing::Test, protected test::CoreHarness {
protected:
    StartupTest() { clock.set(test::FakeClock::at(2026, 12, 6, 9, 4, 7)); }
};

TEST_F(StartupTest, RunsTheTenStepsInOrder) {
    test::write_file(dir / "brevalt.ini", "03:30\r\n");
    ASSERT_FALSE(core.Form_Load().has_value());
    const std::vector<std::string> expected = {
        "Text1 03:30",   "Label1 2026/12/06 9:04:07", "Timer1 30000",  "Picture1 hide",
        "icon prepare",  "window hide",               "icon register", "sensor start",
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(core.state().rotation_time, "03:30");
    EXPECT_EQ(core.state().rotated_flag, 0);
}

TEST_F(StartupTest, WithoutANotificationAreaTheWindowStaysShown) {
    test::write_file(dir / "brevalt.ini", "03:30");
    shell.icon_available = false;
    ASSERT_FALSE(core.Form_Load().has_value());
    const std::vector<std::string> tail(log.end() - 4, log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"window hide", "icon register", "window show", "sensor start"}));
}

TEST_F(StartupTest, ARestartedTaskBarGetsTheIconAgainOrTheWindowShows) {
    test::write_file(dir / "brevalt.ini", "03:30");
    ASSERT_FALSE(core.Form_Load().has_value());
    log.clear();
    core.taskbar_created();
    shell.icon_available = false;
    core.taskbar_created();
    EXPECT_EQ(log, (std::vector<std::string>{"icon register", "icon register", "window show"}));
}

TEST_F(StartupTest, SettingsErrorStopsBeforeAnythingIsShownOrStarted) {
    auto missing = core.Form_Load();
    ASSERT_TRUE(missing.has_value());
    EXPECT_NE(missing->message.find("brevalt.ini"), std::string::npos);

    test::write_file(dir / "brevalt.ini", "");
    auto empty = core.Form_Load();
    ASSERT_TRUE(empty.has_value());
    EXPECT_NE(empty->message.find("empty"), std::string::npos);

    EXPECT_TRUE(log.empty());
    EXPECT_EQ(sensor.starts, 0);
}

TEST_F(StartupTest, ButtonsReachTheSensorAndExitLeavesItRunning) {
    test::write_file(dir / "brevalt.ini", "03:30");
    ASSERT_FALSE(core.Form_Load().has_value());
    log.clear();
    core.start_snort_Click();
    core.Command1_Click();
    core.icon_left_press();
    core.fend_Click();
    EXPECT_EQ(log, (std::vector<std::string>{"sensor start", "sensor stop", "window show", "end"}));
}

}  // namespace
}  // namespace brevalt
