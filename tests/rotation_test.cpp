#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fakes.h"
#include "rotation/rotation.h"
#include "temp_dir.h"

namespace brevalt {
namespace {

namespace fs = std::filesystem;

// Rotations on real files in a fresh program folder, with a fake sensor and
// a clock that only moves when told.
class RotationTest : public ::testing::Test {
protected:
    RotationTest() {
        platform.dir = program.path().string();
        platform.real_files = true;
        fs::create_directory(logs);
    }
    void write_logs(const std::string& alert, const std::string& scan) {
        test::write_file(logs / "alert.ids", alert);
        test::write_file(logs / "scan.log", scan);
    }

    test::TempDir program;
    fs::path logs = program / "log";
    test::FakeClock clock{test::FakeClock::at(2026, 12, 6, 3, 30, 5)};
    test::EventLog log;
    test::FakePlatform platform{clock, log};
    test::FakeSensor sensor{log};
};

TEST_F(RotationTest, BothLogsMoveToTodaysDatedNames) {
    write_logs("alerts\n", "scans\n");
    const RotationReport report = rotate_logs(platform, sensor);
    EXPECT_TRUE(report.alert_rename.ok());
    EXPECT_TRUE(report.scan_rename.ok());
    EXPECT_EQ(test::read_file(logs / "alert.ids.20261206"), "alerts\n");
    EXPECT_EQ(test::read_file(logs / "scan.log.20261206"), "scans\n");
    EXPECT_FALSE(fs::exists(logs / "alert.ids"));
    EXPECT_FALSE(fs::exists(logs / "scan.log"));
    EXPECT_EQ(sensor.stops, 1);
    EXPECT_EQ(sensor.starts, 1);
}

TEST_F(RotationTest, OneMissingLogDoesNotStopTheOther) {
    test::write_file(logs / "scan.log", "scans\n");
    const RotationReport report = rotate_logs(platform, sensor);
    EXPECT_FALSE(report.alert_rename.ok());
    EXPECT_TRUE(report.scan_rename.ok());
    EXPECT_TRUE(fs::exists(logs / "scan.log.20261206"));
    EXPECT_FALSE(fs::exists(logs / "alert.ids.20261206"));
    EXPECT_EQ(sensor.starts, 1);
}

TEST_F(RotationTest, SecondRotationSameDayKeepsEarlierDatedFile) {
    write_logs("first alerts\n", "first scans\n");
    rotate_logs(platform, sensor);
    write_logs("second alerts\n", "second scans\n");
    clock.advance(3600);
    const RotationReport second = rotate_logs(platform, sensor);

    EXPECT_FALSE(second.alert_rename.ok());
    EXPECT_FALSE(second.scan_rename.ok());
    EXPECT_EQ(test::read_file(logs / "alert.ids.20261206"), "first alerts\n");
    EXPECT_EQ(test::read_file(logs / "scan.log.20261206"), "first scans\n");
    EXPECT_EQ(test::read_file(logs / "alert.ids"), "second alerts\n");
    EXPECT_EQ(test::read_file(logs / "scan.log"), "second scans\n");
    EXPECT_EQ(sensor.starts, 2);
}

TEST_F(RotationTest, WithoutLogFolderTheSensorIsStillRestarted) {
    fs::remove(logs);
    const RotationReport report = rotate_logs(platform, sensor);
    EXPECT_FALSE(report.alert_rename.ok());
    EXPECT_FALSE(report.scan_rename.ok());
    EXPECT_EQ(sensor.stops, 1);
    EXPECT_EQ(sensor.starts, 1);
}

TEST_F(RotationTest, UnknownProgramFolderRenamesNothingAndRestarts) {
    platform.dir_fails = true;
    const RotationReport report = rotate_logs(platform, sensor);
    EXPECT_TRUE(report.log_dir.empty());
    for (const auto& event : log) EXPECT_EQ(event.rfind("rename", 0), std::string::npos) << event;
    EXPECT_EQ(sensor.starts, 1);
}

TEST_F(RotationTest, EachRenameReadsTheDateAfresh) {
    write_logs("a", "s");
    clock.set(test::FakeClock::at(2026, 12, 31, 23, 59, 51));  // the wait carries it to 23:59:59
    platform.seconds_per_reading = 1;
    rotate_logs(platform, sensor);
    EXPECT_TRUE(fs::exists(logs / "alert.ids.20261231"));
    EXPECT_TRUE(fs::exists(logs / "scan.log.20270101"));
}

}  // namespace
}  // namespace brevalt
