#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "fakes.h"
#include "rotation/rotation.h"

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
    [[nodiscard]] long position_of(const std::string& event_start) const {
        const auto found = std::find_if(log.begin(), log.end(), [&](const std::string& e) {
            return e.rfind(event_start, 0) == 0;
        });
        return found == log.end() ? -1 : found - log.begin();
    }

    test::TempDir program;
    fs::path logs = program / "log";
    test::FakeClock clock{test::FakeClock::at(2026, 12, 6, 3, 30, 5)};
    test::EventLog log;
    test::FakePlatform platform{clock, log};
    test::FakeSensor sensor{log};
};

TEST_F(RotationTest, LogsMoveOnlyWhileNoSensorRunsAndNeverOverAnEarlierDatedFile) {
    write_logs("first alerts\n", "first scans\n");
    rotate_logs(platform, sensor);
    EXPECT_EQ(test::read_file(logs / "alert.ids.20261206"), "first alerts\n");
    EXPECT_EQ(test::read_file(logs / "scan.log.20261206"), "first scans\n");
    EXPECT_FALSE(fs::exists(logs / "alert.ids") || fs::exists(logs / "scan.log"));
    // Stopped, given its wait, made sure of; only then renamed, then restarted.
    EXPECT_LT(position_of("sensor stop"), position_of("sleep 200"));
    EXPECT_EQ(std::count(log.begin(), log.end(), "sleep 200"), 40) << "8 s in all";
    EXPECT_LT(position_of("sleep 200"), position_of("sensor ensure_stopped_gone"));
    EXPECT_LT(position_of("sensor ensure_stopped_gone"), position_of("rename"));
    EXPECT_LT(position_of("rename " + (logs / "scan.log").string()), position_of("sensor start"));

    write_logs("second alerts\n", "second scans\n");
    clock.advance(3600);
    const RotationReport second = rotate_logs(platform, sensor);
    EXPECT_FALSE(second.alert_rename.ok() || second.scan_rename.ok());
    EXPECT_EQ(test::read_file(logs / "alert.ids.20261206"), "first alerts\n");
    EXPECT_EQ(test::read_file(logs / "scan.log.20261206"), "first scans\n");
    EXPECT_EQ(test::read_file(logs / "alert.ids"), "second alerts\n");
    EXPECT_EQ(test::read_file(logs / "scan.log"), "second scans\n");
    EXPECT_EQ(sensor.starts, 2);

    // Compressed (or half compressed) since, the dated name is taken all the
    // same: the log moved there would be compressed over the day's alerts.
    fs::rename(logs / "alert.ids.20261206", logs / "alert.ids.20261206.gz");
    fs::rename(logs / "scan.log.20261206", logs / "scan.log.20261206.gz.partial");
    const RotationReport third = rotate_logs(platform, sensor);
    EXPECT_FALSE(third.alert_rename.ok() || third.scan_rename.ok());
    EXPECT_EQ(third.alert_taken_by, "alert.ids.20261206.gz");
    EXPECT_EQ(third.scan_taken_by, "scan.log.20261206.gz.partial");
    EXPECT_EQ(test::read_file(logs / "alert.ids"), "second alerts\n");
    EXPECT_FALSE(fs::exists(logs / "alert.ids.20261206") || fs::exists(logs / "scan.log.20261206"));
}

TEST_F(RotationTest, UnknownProgramFolderRenamesNothingAndRestarts) {
    platform.dir_fails = true;
    const RotationReport report = rotate_logs(platform, sensor);
    EXPECT_TRUE(report.log_folder.empty());
    EXPECT_EQ(position_of("rename"), -1);
    EXPECT_EQ(sensor.starts, 1);
}

// Another Brevalt serves the folder once a sensor taken over is gone, or
// something of the old sensor still holds it: the logs stay where they are.
TEST_F(RotationTest, LogsStayWhereTheyAreWithoutTheFoldersClaim) {
    write_logs("a", "s");
    sensor.claim_held = false;
    const RotationReport report = rotate_logs(platform, sensor);
    EXPECT_TRUE(fs::exists(logs / "alert.ids") && fs::exists(logs / "scan.log"));
    EXPECT_EQ(report.start.outcome, SensorStart::Outcome::claim_lost);
    EXPECT_EQ(sensor.starts, 0);
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
