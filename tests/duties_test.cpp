// The duties the core conducts, each on its own: what they decide and what
// they hand to the telling, asserted by the texts' identities and arguments
// rather than by their English.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "app/folder_service.h"
#include "app/low_disk.h"
#include "app/rotation_news.h"
#include "app/sensor_watch.h"
#include "fakes.h"

namespace brevalt {
namespace {

struct DutyHarness {
    test::FakeClock clock{test::FakeClock::at(2026, 12, 6, 9, 4, 7)};
    test::EventLog log;
    test::FakePlatform platform{clock, log};
    test::FakeSensor sensor{log};
    test::FakeShell shell;
    test::FakeMetricsWriter metrics;
    Telling telling{shell, platform, metrics};
};

class RotationNewsTest : public ::testing::Test, protected DutyHarness {
protected:
    RotationNewsTest() {
        report.log_folder = "/opt/brevalt/log";
        report.alert_dated_name = "alert.ids.20261206";
        report.scan_dated_name = "scan.log.20261206";
    }
    RotationReport report;
};

TEST_F(RotationNewsTest, BothRenamedIsOneRoutineLineNamingTheDatedLogs) {
    EXPECT_EQ(rotation_news(report, platform),
              (std::vector<News>{{Priority::info, {TextId::logs_rotated, {"alert.ids.20261206", "scan.log.20261206"}}}}));
}

TEST_F(RotationNewsTest, EachLogThatKeptItsNameSaysWhyAndAMissingFolderIsTheOneCause) {
    report.alert_rename = SysResult::failure("name_exists", 0);
    report.alert_taken_by = "alert.ids.20261206.gz";
    report.scan_rename = SysResult::failure("rename", ENOENT);
    EXPECT_EQ(rotation_news(report, platform),
              (std::vector<News>{{Priority::warning, {TextId::log_kept_name, {"alert.ids", "alert.ids.20261206.gz"}}},
                                 {Priority::warning,
                                  {TextId::log_not_renamed, {"scan.log", "scan.log.20261206", std::strerror(ENOENT)}}}}));
    platform.missing_folder = "/opt/brevalt/log";
    EXPECT_EQ(rotation_news(report, platform),
              (std::vector<News>{{Priority::warning, {TextId::rotation_without_log_folder, {"/opt/brevalt/log"}}}}));
}

TEST_F(RotationNewsTest, ATimeThatNeverMatchesAndAMissingFolderAreToldAtTheStart) {
    EXPECT_TRUE(never_rotating_news("03:30", "/opt/brevalt/log", platform).empty());
    platform.missing_folder = "/opt/brevalt/log";
    EXPECT_EQ(never_rotating_news("3:30", "/opt/brevalt/log", platform),
              (std::vector<News>{{Priority::warning, {TextId::rotation_time_never_matches, {"3:30"}}},
                                 {Priority::warning, {TextId::log_folder_missing, {"/opt/brevalt/log"}}}}));
}

class SensorWatchTest : public ::testing::Test, protected DutyHarness {
protected:
    SensorWatch watch{sensor, platform, telling};
};

// A rotation due at the tick that finds the sensor ended starts one anyway:
// a restart before it would be stopped again at once, and the end is not
// carried to a later tick.
TEST_F(SensorWatchTest, AnEndSeenAsARotationIsDueLeavesTheStartToTheRotation) {
    ASSERT_TRUE(watch.launch(platform.now()).ok());
    sensor.end_by_itself();
    watch.notice_end();
    EXPECT_FALSE(watch.on_tick(platform.now(), true).has_value());
    EXPECT_FALSE(watch.on_tick(platform.now(), false).has_value());
    EXPECT_EQ(sensor.starts, 1);
}

class LowDiskWarningTest : public ::testing::Test, protected DutyHarness {
protected:
    LowDiskWarning warning;
};

TEST_F(LowDiskWarningTest, ShortSpaceIsToldOnceADayByEitherMeasure) {
    platform.space = {std::uint64_t{2} << 30, std::uint64_t{100} << 30, {}};  // 2 %: short by the share
    const std::optional<News> told = warning.look(platform, "/opt/brevalt/log", platform.now());
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(told->text, (Text{TextId::disk_nearly_full, {"2048", "2"}}));
    EXPECT_TRUE(warning.looked_at_today(platform.now()));
    EXPECT_FALSE(warning.look(platform, "/opt/brevalt/log", platform.now())) << "once a day";
    clock.advance(24 * 3600);
    EXPECT_FALSE(warning.looked_at_today(platform.now()));
    platform.space = {std::uint64_t{512} << 20, std::uint64_t{4} << 30, {}};  // 12 %, but under 1 GiB
    EXPECT_TRUE(warning.look(platform, "/opt/brevalt/log", platform.now()).has_value());
    clock.advance(24 * 3600);
    platform.space = {std::uint64_t{2} << 30, std::uint64_t{20} << 30, {}};
    EXPECT_FALSE(warning.look(platform, "/opt/brevalt/log", platform.now())) << "enough by both";
    clock.advance(24 * 3600);
    platform.space.result = SysResult::failure("statvfs", EIO);
    platform.space.available_bytes = 0;
    EXPECT_FALSE(warning.look(platform, "/opt/brevalt/log", platform.now())) << "unknown is not short";
}

class FolderServiceTest : public ::testing::Test, protected DutyHarness {
protected:
    FolderService service{sensor, platform, telling};
};

TEST_F(FolderServiceTest, ARefusedStartNamesTheHolderOnlyWhereOneIsKnown) {
    sensor.claim = FolderClaim::held_by(FolderClaim::Outcome::held_elsewhere, {ClaimHolder::Kind::brevalt, "alice", 4242});
    FolderService::Start start = service.claim_at_start("/opt/brevalt/log");
    ASSERT_TRUE(start.refusal.has_value());
    EXPECT_EQ(*start.refusal, (Text{TextId::folder_held_by, {"/opt/brevalt/log", "alice, process 4242"}}));
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::held_elsewhere);
    EXPECT_EQ(*service.claim_at_start("/opt/brevalt/log").refusal, (Text{TextId::folder_held, {"/opt/brevalt/log"}}));
    sensor.claim = FolderClaim::failed_because("flock failed: No locks available");
    start = service.claim_at_start("/opt/brevalt/log");
    EXPECT_EQ(start.claim.outcome, FolderClaim::Outcome::failed);
    EXPECT_EQ(*start.refusal, (Text{TextId::folder_unsure, {"/opt/brevalt/log", "flock failed: No locks available"}}));
    // No log folder yet: the program folder it would be made in stands for it.
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::claimed);
    sensor.missing_folder = "/opt/brevalt/log";
    start = service.claim_at_start("/opt/brevalt/log");
    EXPECT_FALSE(start.refusal.has_value());
    EXPECT_EQ(service.claimed_folder(), "/opt/brevalt");
}

TEST_F(FolderServiceTest, EachHolderIsToldOnceTheButtonsRefuseAndTheWaitEndsWhenTheClaimIsOurs) {
    const FolderClaim alice =
        FolderClaim::held_by(FolderClaim::Outcome::served_by_other_user, {ClaimHolder::Kind::brevalt, "alice", 4242});
    ASSERT_FALSE(service.claim_at_start("/opt/brevalt/log").refusal.has_value());
    sensor.claim = alice;
    EXPECT_FALSE(service.claim_again().ours());
    EXPECT_TRUE(service.waiting());
    EXPECT_FALSE(service.claim_again().ours());
    EXPECT_EQ(platform.told.size(), 1U) << "the same holder is told once";
    sensor.claim = FolderClaim::held_by(FolderClaim::Outcome::left_by_other_user, {ClaimHolder::Kind::sensor, "bob", 99});
    service.claim_again();
    ASSERT_EQ(platform.told.size(), 2U);
    EXPECT_NE(platform.told[1].find("(kill 99)"), std::string::npos) << platform.told[1];
    EXPECT_EQ(shell.icon_states.back().rfind("none: ", 0), 0U);
    EXPECT_TRUE(service.refuses_while_waiting());
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::claimed);
    EXPECT_TRUE(service.claim_again().ours());
    EXPECT_FALSE(service.waiting());
    EXPECT_EQ(platform.told.back(), R"(notice: The log folder "/opt/brevalt/log" is served by this Brevalt now)");
    EXPECT_FALSE(service.refuses_while_waiting());
    const std::size_t told = platform.told.size();
    service.claim_again();
    EXPECT_EQ(platform.told.size(), told) << "serving on is no news";
}

TEST(HolderText, NamesWhatIsKnownAndNothingEmpty) {
    EXPECT_EQ(holder_text({ClaimHolder::Kind::brevalt, "alice", 4242}), "alice, process 4242");
    EXPECT_EQ(holder_text({ClaimHolder::Kind::brevalt, "CORP\\alice", 0}), "CORP\\alice");
    EXPECT_EQ(holder_text({ClaimHolder::Kind::sensor, "", 77}), "process 77");
}

// A start that finds the claim lost goes the one way a lost claim goes: the
// folder is claimed again, and where it is this Brevalt's once more, the
// sensor starts and nothing ever shows it waiting.
class LostClaimTest : public ::testing::Test, protected test::CoreHarness {
protected:
    LostClaimTest() { clock.set(test::FakeClock::at(2026, 12, 6, 9, 4, 7)); }
};

TEST_F(LostClaimTest, ABrevaltThatGetsTheLockBackIsNeverShownWaiting) {
    test::write_file(dir / "brevalt.ini", "03:30\n");
    ASSERT_FALSE(core.start_up().has_value());
    const auto waiting_shown = [this] {
        return std::any_of(shell.icon_states.begin(), shell.icon_states.end(),
                           [](const std::string& state) { return state.find("no sensor of ours") != std::string::npos; });
    };
    for (const auto& act : {+[](Core& c) { c.start_sensor(); }, +[](Core& c) { c.rotate_now(); }}) {
        core.stop_sensor();
        sensor.claim_lost_starts = 1;
        log.clear();
        act(core);
        EXPECT_EQ(std::count(log.begin(), log.end(), "sensor start"), 2) << "started once the claim was had again";
        EXPECT_EQ(std::count(log.begin(), log.end(), "claim /opt/brevalt/log"), 1);
        EXPECT_TRUE(sensor.running_pid().has_value());
        EXPECT_EQ(shell.icon_states.back().rfind("running: ", 0), 0U);
        EXPECT_FALSE(waiting_shown());
    }
    // A restart at the tick after the sensor ended by itself, likewise.
    sensor.end_by_itself();
    sensor.claim_lost_starts = 1;
    clock.advance(120);
    core.on_tick();
    EXPECT_TRUE(sensor.running_pid().has_value());
    EXPECT_FALSE(waiting_shown());
    EXPECT_TRUE(std::none_of(platform.told.begin(), platform.told.end(),
                             [](const std::string& line) { return line.rfind("err: ", 0) == 0; }));
}

}  // namespace
}  // namespace brevalt
