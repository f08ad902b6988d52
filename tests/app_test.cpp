#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "fakes.h"

namespace brevalt {
namespace {

using Texts = std::vector<std::string>;

// An absolute path as each system writes one.
#ifdef _WIN32
const std::string k_metrics = R"(C:\metrics\brevalt.prom)";
#else
const std::string k_metrics = "/var/opt/brevalt/metrics/brevalt.prom";
#endif

class StartUpTest : public ::testing::Test, protected test::CoreHarness {
protected:
    StartUpTest() { clock.set(test::FakeClock::at(2026, 12, 6, 9, 4, 7)); }
    void start(bool notification_area = true) {
        test::write_file(dir / "brevalt.ini", "03:30\r\n");
        shell.notification_area = notification_area;
        ASSERT_FALSE(core.start_up().has_value());
    }
};

// The same start on fakes, grouped by the duty whose rules each scenario
// pins; the scenarios also pin the order of tells, icon updates and metrics
// writes within one event.
class FolderServiceScenario : public StartUpTest {};
class SensorWatchScenario : public StartUpTest {};
class RotationScenario : public StartUpTest {};
class KeepingScenario : public StartUpTest {};
class TellingScenario : public StartUpTest {};

TEST_F(StartUpTest, FillsTheWindowHidesItBehindTheIconAndStartsTheSensor) {
    start();
    EXPECT_EQ(shell.rotation_time, "03:30");
    EXPECT_EQ(shell.clock, "2026/12/06 9:04:07");
    EXPECT_EQ(shell.tick_interval_ms, 30000u);
    EXPECT_TRUE(shell.icon_picture_hidden);
    EXPECT_TRUE(shell.icon_prepared && shell.icon_registered);
    EXPECT_FALSE(shell.window_shown);
    EXPECT_EQ(sensor.starts, 1);
    EXPECT_EQ(core.state().rotation_time, "03:30");
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
    // A panel that restarts must not take away a window the operator opened.
    core.on_icon_clicked();
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
    sensor.claim = FolderClaim::held_by(FolderClaim::Outcome::held_elsewhere, {ClaimHolder::Kind::brevalt, "alice", 4242});
    const auto held = core.start_up();
    ASSERT_TRUE(held.has_value());
    EXPECT_NE(held->message.find("Another Brevalt already serves the log folder \"/opt/brevalt/log\" (run by alice, process 4242)"),
              std::string::npos)
        << held->message;
    inert();
}

// Someone who may not write the log folder never claims it, so nobody but an
// operator can keep the sensor from starting; the start at logon lets them
// go without a word on screen.
TEST_F(StartUpTest, NonOperatorNeverClaimsTheFolder) {
    test::write_file(dir / "brevalt.ini", "03:30\n");
    platform.not_operator = Text{TextId::not_operator_posix, {"brevalt", "eve"}};
    const std::string why = english(*platform.not_operator);
    const auto by_hand = core.start_up();
    ASSERT_TRUE(by_hand.has_value());
    EXPECT_FALSE(by_hand->quiet);
    core.set_started_at_logon(true);
    const auto at_logon = core.start_up();
    ASSERT_TRUE(at_logon.has_value());
    EXPECT_TRUE(at_logon->quiet);
    EXPECT_EQ(platform.told, (Texts{"err: " + why, "info: " + why}));
    EXPECT_TRUE(log.empty()) << "no claim, no sensor";
}

// Where there is no log folder yet, the program folder it would be made in
// is claimed instead, so two Brevalts of one program folder still exclude
// each other.
TEST_F(FolderServiceScenario, WithoutALogFolderTheProgramFolderIsClaimed) {
    sensor.missing_folder = "/opt/brevalt/log";
    start();
    EXPECT_EQ(log, (test::EventLog{"claim /opt/brevalt/log", "claim /opt/brevalt", "sensor start"}));
}

// A sensor an earlier Brevalt left running is watched, not doubled: neither
// at start-up nor by "Snort実行"; one that ends is started again as ours.
TEST_F(FolderServiceScenario, SensorLeftRunningIsTakenOverAndNeverDoubled) {
    sensor.claim = FolderClaim::taken_over_from(4711);
    start();
    EXPECT_EQ(shell.icon_states, Texts{"running: Brevalt: sensor running since 09:04, next rotation tomorrow 03:30"});
    core.start_sensor();
    EXPECT_EQ(sensor.starts, 0);
    EXPECT_EQ(shell.notifications, (Texts{"The sensor left running by an earlier Brevalt (process 4711) is watched again",
                                          "The sensor already runs (process 4711): no second one is started"}));
    sensor.end_by_itself();
    clock.advance(600);
    core.on_tick();
    EXPECT_EQ(sensor.starts, 1);
}

// Only a live Brevalt of the same user is a reason to refuse: a sensor
// another user left, or a holder nothing names, is waited for from the start.
TEST_F(StartUpTest, HoldersOtherThanTheSameUsersBrevaltAreWaitedForFromTheStart) {
    for (const FolderClaim& claim :
         {FolderClaim::held_by(FolderClaim::Outcome::left_by_other_user, {ClaimHolder::Kind::sensor, "alice", 4711}),
          FolderClaim::of(FolderClaim::Outcome::held_by_unknown)}) {
        sensor.claim = claim;
        test::write_file(dir / "brevalt.ini", "03:30\n");
        Core waiting(shell, platform, sensor, keeper, metrics, (dir / "brevalt.ini").string());
        EXPECT_FALSE(waiting.start_up().has_value());
        EXPECT_EQ(sensor.starts, 0);
    }
}

// Another operator's Brevalt, or the sensor it left, serves the folder:
// this Brevalt waits with an icon that says so, starts, stops and rotates
// nothing, tells each new holder once, and serves the folder itself once
// it is free, without a rotation for the minute that passed meanwhile.
TEST_F(FolderServiceScenario, AnotherOperatorsClaimIsWaitedForAndTheFolderServedOnceFree) {
    sensor.claim = FolderClaim::held_by(FolderClaim::Outcome::served_by_other_user, {ClaimHolder::Kind::brevalt, "alice", 4242});
    test::write_file(dir / "brevalt.ini", "03:30\nmetrics=" + k_metrics + "\nkeep=3\n");
    ASSERT_FALSE(core.start_up().has_value());
    const std::string served = R"(The log folder "/opt/brevalt/log" is served by the Brevalt of alice, process 4242: )"
                               "this Brevalt starts no sensor and waits; it serves the folder itself once that one has ended";
    EXPECT_EQ(shell.notifications, Texts{served});
    EXPECT_EQ(shell.icon_states,
              Texts{"none: Brevalt: no sensor of ours; the log folder is served by the Brevalt of alice, process 4242"});
    core.start_sensor();
    core.stop_sensor();
    core.rotate_now();
    EXPECT_EQ(sensor.starts + sensor.stops, 0);
    EXPECT_EQ(shell.notifications.size(), 4U);
    EXPECT_NE(shell.notifications.back().find("starts, stops and rotates nothing"), std::string::npos);
    shell.notifications.clear();
    clock.advance(30);
    core.on_tick();
    EXPECT_TRUE(shell.notifications.empty()) << "the same holder is told once";
    sensor.claim = FolderClaim::held_by(FolderClaim::Outcome::left_by_other_user, {ClaimHolder::Kind::sensor, "alice", 4711});
    clock.advance(30);
    core.on_tick();
    ASSERT_EQ(shell.notifications.size(), 1U);
    EXPECT_NE(shell.notifications[0].find("The sensor of alice, process 4711 runs unwatched"), std::string::npos);
    EXPECT_NE(shell.notifications[0].find("(kill 4711)"), std::string::npos);

    // Past 03:30 of the next day while waiting, then free.
    for (clock.set(test::FakeClock::at(2026, 12, 7, 3, 20, 0)); shell.clock != "2026/12/07 3:40:00"; clock.advance(30)) {
        core.on_tick();
    }
    EXPECT_TRUE(metrics.written.empty()) << "the metrics file is the serving Brevalt's";
    EXPECT_TRUE(keeper.passes.empty()) << "and so is the keeping of its logs";
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::claimed);
    log.clear();
    clock.advance(30);
    core.on_tick();
    EXPECT_EQ(log, (test::EventLog{"claim /opt/brevalt/log", "sensor start"})) << "no rotation for the minute passed";
    ASSERT_FALSE(metrics.written.empty());
    EXPECT_EQ(metrics.written.back().second.sensor_state, SensorState::running);
    EXPECT_EQ(shell.notifications.back(), R"(The log folder "/opt/brevalt/log" is served by this Brevalt now)");
    EXPECT_EQ(shell.icon_states.back().rfind("running: ", 0), 0U);

    // The claim lost while a sensor taken over held it: waiting again, no
    // failure told, no sensor started.
    sensor.end_by_itself();
    sensor.start_result = SensorStart::because(SensorStart::Outcome::claim_lost);
    sensor.claim = FolderClaim::held_by(FolderClaim::Outcome::served_by_other_user, {ClaimHolder::Kind::brevalt, "bob", 99});
    shell.notifications.clear();
    clock.advance(600);
    core.on_tick();
    ASSERT_EQ(shell.notifications.size(), 2U);
    EXPECT_NE(shell.notifications[1].find("served by the Brevalt of bob, process 99"), std::string::npos)
        << "the lost claim is claimed again at once, and its holder named";
    EXPECT_EQ(shell.icon_states.back(),
              "none: Brevalt: no sensor of ours; the log folder is served by the Brevalt of bob, process 99");

    // A holder nothing names is waited for with a text of its own, never
    // named as nobody; the folder is served within a tick once it lets go.
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::held_by_unknown);
    clock.advance(30);
    core.on_tick();
    ASSERT_EQ(shell.notifications.size(), 3U);
    EXPECT_NE(shell.notifications[2].find("held by a process Brevalt does not know"), std::string::npos);
    EXPECT_EQ(shell.notifications[2].find("kill"), std::string::npos);
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::claimed);
    sensor.start_result = SensorStart::done();
    clock.advance(30);
    core.on_tick();
    EXPECT_EQ(shell.icon_states.back().rfind("running: ", 0), 0U);
}

// The end of the desktop session ends the sensor Brevalt started, giving it
// time to close its logs and killing it after that; "終了" leaves it running,
// and a process that ends after either acts no more.
TEST_F(SensorWatchScenario, SessionEndStopsTheSensorButTheOperatorsExitLeavesIt) {
    start();
    sensor.polls_until_gone = 1000;  // one that ignores the request
    log.clear();
    core.end_session();
    EXPECT_TRUE(shell.ended);
    EXPECT_EQ(std::count(log.begin(), log.end(), "sleep 100"), 30);
    EXPECT_EQ(log.back(), "stop keeper") << "the keeper stops after the sensor's grace, not before it";
    EXPECT_EQ(log[log.size() - 2], "sensor ensure_stopped_gone");
    core.on_process_end();  // the event loop returns after it
    EXPECT_EQ(sensor.stops, 1);

    test::CoreHarness other;
    ASSERT_TRUE(other.started());
    other.core.exit_program();
    other.core.on_process_end();
    EXPECT_TRUE(other.shell.ended);
    EXPECT_EQ(other.sensor.stops, 0);
}


// A sensor that ends by itself is told and started again at the next tick;
// one that keeps ending within a minute of its start is given up, once,
// until the operator starts it. One stopped by the operator stays stopped.
TEST_F(SensorWatchScenario, SensorEndingByItselfIsStartedAgainUntilItEndsQuicklyThreeTimesInARow) {
    start();
    // The sensor is seen running by `ticks_alive` ticks, then ends, and the
    // next tick finds it ended.
    const auto live_and_end = [this](int ticks_alive, SensorEnd how = {SensorEnd::How::signalled, 9}) {
        for (int i = 0; i < ticks_alive; ++i) {
            clock.advance(30);
            core.on_tick();
        }
        sensor.end_by_itself(how);
        clock.advance(30);
        core.on_tick();
    };
    live_and_end(20, {SensorEnd::How::exited, 3});
    EXPECT_EQ(shell.notifications,
              (Texts{"The sensor ended by itself (exit status 3)", "The sensor was started again"}));
    // Ending 40 s after each start, each end found only 60 s after the
    // start: quick all the same.
    for (int i = 0; i < 4; ++i) live_and_end(1);
    EXPECT_EQ(sensor.starts, 4);
    EXPECT_EQ(shell.notifications.size(), 8U);
    EXPECT_EQ(shell.notifications.back(), R"(The sensor ended within a minute of its start 3 times in a row; )"
                                          R"(it is not started again until "Snort実行" or the next rotation)");
    // The operator's start and a rotation each begin the count afresh.
    core.start_sensor();
    live_and_end(0);
    EXPECT_EQ(sensor.starts, 6);
    live_and_end(0);
    live_and_end(0);
    EXPECT_EQ(sensor.starts, 7);
    core.rotate_now();
    live_and_end(0);
    EXPECT_EQ(sensor.starts, 9);

    // One that ended since the last tick is told before the operator's
    // start replaces it or a stop forgets it; a stopped one stays stopped.
    for (void (Core::*act)(const std::optional<ControlPeer>&) :
         {&Core::start_sensor, &Core::rotate_now, &Core::stop_sensor}) {
        shell.notifications.clear();
        sensor.end_by_itself({SensorEnd::How::exited, 2});
        (core.*act)(std::nullopt);
        EXPECT_EQ(shell.notifications, Texts{"The sensor ended by itself (exit status 2)"});
    }
    live_and_end(20, {});
    EXPECT_EQ(sensor.starts, 11);
}

TEST_F(SensorWatchScenario, FailedStartIsTold) {
    sensor.start_result = SensorStart::because(SensorStart::Outcome::not_found);
    start();
    sensor.start_result = SensorStart::failure(SysResult::failure("posix_spawn", EACCES));
    core.start_sensor();
    EXPECT_EQ(shell.notifications,
              (Texts{R"(The sensor could not be started: no executable "snort" beside Brevalt or on PATH)",
                     "The sensor could not be started: Permission denied"}));
}

// What went wrong in a rotation reaches the operator; a rotation that went
// well only the system log. A nearly full disk is told once a day.
TEST_F(RotationScenario, RotationOutcomesAndANearlyFullDiskAreTold) {
    platform.dir = dir.path().string();
    platform.real_files = true;
    std::filesystem::create_directory(dir / "log");
    start();
    clock.set(test::FakeClock::at(2026, 12, 7, 3, 30, 5));
    test::write_file(dir / "log" / "alert.ids", "today");
    test::write_file(dir / "log" / "alert.ids.20261207", "earlier");
    core.rotate_now();
    EXPECT_EQ(shell.notifications,
              (Texts{"alert.ids kept its name: alert.ids.20261207 exists already. The logs are rotated once per date: "
                     "to rotate again today, move or rename alert.ids.20261207 first",
                     "scan.log could not be renamed to scan.log.20261207: No such file or directory"}));

    platform.told.clear();
    platform.space = {std::uint64_t{812} << 20, std::uint64_t{2} << 30, {}};  // few bytes, a large share
    clock.set(test::FakeClock::at(2026, 12, 8, 3, 29, 5));
    test::write_file(dir / "log" / "scan.log", "scans");
    sensor.start_result = SensorStart::failure(SysResult::failure("posix_spawn", EACCES));
    core.rotate_now();
    EXPECT_EQ(platform.told, (Texts{"info: The logs were rotated: alert.ids.20261208, scan.log.20261208",
                                    "err: The sensor could not be started: Permission denied",
                                    "warning: The log folder's file system is nearly full: 812 MiB free (39%)",
                                    "notice: operator chose 再起動 in the window: no sensor runs"}));
    sensor.start_result = SensorStart::done();

    platform.space = {std::uint64_t{3} << 30, std::uint64_t{100} << 30, {}};  // many bytes, a small share
    clock.set(test::FakeClock::at(2026, 12, 9, 3, 0, 5));
    const std::string full = "The log folder's file system is nearly full: 3072 MiB free (3%)";
    for (int i = 0; i < 2880; ++i) {  // a day of ticks, with its rotation
        clock.advance(30);
        core.on_tick();
    }
    EXPECT_EQ(std::count(shell.notifications.begin(), shell.notifications.end(), full), 2);
}

// Keeping runs only where asked for, always once the sensor runs again, and
// what it did reaches the operator at the next tick.
TEST_F(KeepingScenario, DatedLogsAreKeptAfterTheSensorRunsAndWhatWasDoneIsTold) {
    test::write_file(dir / "brevalt.ini", "03:30\nkeep=30\ncompress=yes\nrotate=weekly\n");
    ASSERT_FALSE(core.start_up().has_value());
    const auto after = [this](const std::string& first, const std::string& then) {
        const auto at = std::find(log.begin(), log.end(), first);
        return std::find(at, log.end(), then) != log.end();
    };
    const std::string rotated = "tidy /opt/brevalt/log alert.ids.20261206 scan.log.20261206";
    EXPECT_TRUE(after("sensor start", "tidy /opt/brevalt/log"));
    ASSERT_EQ(keeper.passes.size(), 1u);
    EXPECT_EQ(keeper.passes[0].second.keep_dates, 30u);
    EXPECT_TRUE(keeper.passes[0].second.compress);
    ASSERT_EQ(shell.notifications.size(), 1u);
    EXPECT_NE(shell.notifications[0].find("\"rotate\" on line 4"), std::string::npos);

    log.clear();
    core.rotate_now();
    EXPECT_TRUE(after("sensor start", rotated));
    EXPECT_TRUE(after("mark /opt/brevalt/log alert.ids.20261206 scan.log.20261206", rotated));

    KeepReport report;
    report.deleted = 4;
    report.deleted_dates = {20261001, 20261002};
    report.oldest_alert_date_kept = 20261108;
    report.oldest_scan_date_kept = 20261109;
    report.failures = {{"alert.ids.20261001", true, SysResult::failure("unlink", EACCES)},
                       {"scan.log.20261001", true, SysResult::failure("unlink", EACCES)}};
    report.volume_cannot_compress = true;
    report.gz_differs = {"alert.ids.20261002"};
    report.in_use = {"scan.log.20261003"};
    keeper.reports = {report, report};
    platform.told.clear();
    shell.notifications.clear();
    core.on_tick();
    const std::string deleted =
        "info: 4 dated logs older than the newest 30 dates were deleted, of 20261001, 20261002; the oldest kept: "
        "alert.ids.20261108 scan.log.20261109";
    const std::string failed =
        "warning: 2 dated logs, alert.ids.20261001 the first, could not be deleted: Permission denied";
    EXPECT_EQ(platform.told,
              (Texts{deleted, failed,
                     "warning: The dated log alert.ids.20261002 is not compressed: alert.ids.20261002.gz exists "
                     "already and was not made from it; both are kept",
                     "warning: The dated log scan.log.20261003 was written to or in use by another program while it "
                     "was to be compressed: it is kept whole and compressed at a later pass",
                     "warning: The log folder's volume cannot compress files: compress=yes is not carried out there",
                     deleted, failed}));
    EXPECT_EQ(shell.notifications.size(), 5u);

    core.exit_program();
    EXPECT_TRUE(keeper.stopped);
}

// Without keep or compress only a rotation's pass runs: it deletes and
// compresses nothing, and tells a clock that named the logs behind the folder.
TEST_F(KeepingScenario, WithoutKeepOrCompressOnlyTheRotatedDateIsLookedAt) {
    start();
    EXPECT_TRUE(keeper.passes.empty());
    core.rotate_now();
    ASSERT_EQ(keeper.passes.size(), 1u);
    EXPECT_FALSE(keeper.passes[0].second.any());
    KeepReport report;
    report.rotated_behind = "alert.ids.20251206";
    report.newer_in_folder = "alert.ids.20261205.gz";
    keeper.reports = {report};
    core.on_tick();
    EXPECT_EQ(platform.told.back(),
              "warning: The clock seems to be behind: the logs were rotated to alert.ids.20251206, but "
              "alert.ids.20261205.gz is already in the log folder; the logs just rotated are never deleted by keep");
}

// The icon tells whether a sensor runs and why not, and changes only when
// that does: a tick that finds everything as it was redraws nothing.
TEST_F(TellingScenario, IconFollowsTheSensorAndChangesOnlyWithIt) {
    // Started at 09:04, past the day's 03:30: the next rotation is tomorrow's.
    const std::string next = ", next rotation tomorrow 03:30";
    start();
    EXPECT_EQ(shell.icon_states, Texts{"running: Brevalt: sensor running since 09:04" + next});
    EXPECT_EQ(shell.watched, 101);
    core.on_tick();
    core.start_sensor();  // already runs
    core.stop_sensor();
    core.stop_sensor();
    EXPECT_FALSE(shell.watched.has_value());
    clock.advance(3600);
    core.start_sensor();
    // Seen ended at once, told once, started again by the next tick.
    sensor.end_by_itself();
    core.on_sensor_end_seen();
    core.on_sensor_end_seen();
    EXPECT_EQ(sensor.starts, 2);
    clock.advance(30);
    core.on_tick();
    EXPECT_EQ(sensor.starts, 3);
    EXPECT_EQ(shell.icon_states, (Texts{"running: Brevalt: sensor running since 09:04" + next,
                                        "none: Brevalt: sensor stopped (停止)" + next,
                                        "running: Brevalt: sensor running since 10:04" + next,
                                        "none: Brevalt: sensor ended, restarted at the next check" + next,
                                        "running: Brevalt: sensor running since 10:04" + next}));
    EXPECT_EQ(std::count(shell.notifications.begin(), shell.notifications.end(),
                         "The sensor ended by itself (exit status 3)"), 1);

    // Given up after quick ends; a rotation brings it back; a failed start.
    shell.icon_states.clear();
    for (int i = 0; i < 3; ++i) {
        sensor.end_by_itself();
        clock.advance(30);
        core.on_tick();
    }
    EXPECT_EQ(shell.icon_states.back(), "none: Brevalt: sensor given up after 3 quick ends" + next);
    core.rotate_now();
    EXPECT_EQ(shell.icon_states.back(), "running: Brevalt: sensor running since 10:06" + next);
    sensor.start_result = SensorStart::failure(SysResult::failure("posix_spawn", EACCES));
    shell.translated = true;
    core.stop_sensor();
    core.start_sensor();
    EXPECT_EQ(shell.icon_states.back(), "none: «Brevalt: sensor could not be started, next rotation «tomorrow 03:30»»");
    EXPECT_EQ(shell.notifications.back(), "«The sensor could not be started: Permission denied»");
    EXPECT_EQ(platform.told.end()[-2], "err: The sensor could not be started: Permission denied");
    EXPECT_EQ(platform.told.back(), "notice: operator chose Snort実行 in the window: no sensor runs");
}

// The metrics file follows every change of the sensor at once, not only at
// the tick, and counts what this Brevalt did since it started.
TEST_F(TellingScenario, MetricsFollowTheSensorAndCountStartsAndRotations) {
    platform.dir = dir.path().string();
    platform.real_files = true;
    std::filesystem::create_directory(dir / "log");
    test::write_file(dir / "brevalt.ini", "03:30\nmetrics=" + k_metrics + "\n");
    ASSERT_FALSE(core.start_up().has_value());
    const auto last = [this] { return metrics.written.back().second; };
    ASSERT_FALSE(metrics.written.empty());
    EXPECT_EQ(metrics.written.back().first, k_metrics);
    EXPECT_EQ(last().sensor_state, SensorState::running);
    EXPECT_EQ(last().sensor_starts, 1u);
    EXPECT_EQ(last().log_folder_free_bytes, platform.space.available_bytes);
    EXPECT_EQ(last().version, BREVALT_VERSION);
    EXPECT_EQ(last().start_unix_seconds, clock.seconds());
    EXPECT_TRUE(last().rotation_scheduled);
    EXPECT_FALSE(last().last_rotation_unix_seconds.has_value()) << "no rotation yet is no rotation in 1970";

    sensor.end_by_itself();
    core.on_sensor_end_seen();
    EXPECT_EQ(last().sensor_state, SensorState::ended);
    EXPECT_EQ(last().sensor_ends, 1u);
    const std::size_t writes = metrics.written.size();
    clock.advance(30);
    core.on_tick();
    EXPECT_EQ(last().sensor_state, SensorState::running);
    EXPECT_EQ(last().sensor_starts, 2u);
    KeepReport failing;
    failing.failures = {{"alert.ids.20261001", true, SysResult::failure("unlink", EACCES)}};
    keeper.reports = {failing, failing};
    for (int i = 0; i < 4; ++i) core.on_tick();
    EXPECT_GE(metrics.written.size(), writes + 5) << "each tick refreshes the file";
    EXPECT_EQ(last().keeping_failures, 2u);
    EXPECT_EQ(last().checks, 5u) << "each tick advances the heartbeat";
    core.stop_sensor();
    EXPECT_EQ(last().sensor_state, SensorState::stopped);
    EXPECT_EQ(last().sensor_ends, 1u) << "a stop is no end of the sensor's own";
    core.start_sensor();

    // A log that keeps its name makes a failed rotation, still a rotation.
    clock.set(test::FakeClock::at(2026, 12, 7, 2, 0, 5));  // by hand, before the day's minute
    test::write_file(dir / "log" / "alert.ids", "today");
    test::write_file(dir / "log" / "scan.log", "today");
    core.rotate_now();
    EXPECT_EQ(last().rotations, 1u);
    EXPECT_EQ(last().rotation_failures, 0u);
    EXPECT_EQ(last().last_rotation_unix_seconds, clock.seconds());
    EXPECT_EQ(last().sensor_starts, 4u);
    test::write_file(dir / "log" / "alert.ids", "again");
    clock.advance(60);
    core.rotate_now();
    EXPECT_EQ(last().rotations, 2u);
    EXPECT_EQ(last().rotation_failures, 1u);
    EXPECT_EQ(last().last_rotation_unix_seconds, clock.seconds());

    // Given up, and back with the operator's start; a failed start counts none.
    for (int i = 0; i < 3; ++i) {
        sensor.end_by_itself();
        clock.advance(30);
        core.on_tick();
    }
    EXPECT_EQ(last().sensor_state, SensorState::given_up);
    EXPECT_EQ(last().sensor_ends, 4u);
    sensor.start_result = SensorStart::failure(SysResult::failure("posix_spawn", EACCES));
    const std::uint64_t starts = last().sensor_starts;
    core.start_sensor();
    EXPECT_EQ(last().sensor_state, SensorState::start_failed);
    EXPECT_EQ(last().sensor_starts, starts);
    platform.space.result = SysResult::failure("statvfs", EIO);
    core.on_tick();
    EXPECT_FALSE(last().log_folder_free_bytes.has_value());

    // Its last word as it ends: the session's end stops the sensor, "終了"
    // leaves it running.
    const std::size_t before_exit = metrics.written.size();
    core.exit_program();
    ASSERT_EQ(metrics.written.size(), before_exit + 1);
    EXPECT_EQ(last().sensor_state, SensorState::exited);
    test::CoreHarness other;
    ASSERT_TRUE(other.started("25:00\nmetrics=" + k_metrics + "\n"));
    EXPECT_FALSE(other.metrics.written.back().second.rotation_scheduled);
    other.core.end_session();
    EXPECT_EQ(other.metrics.written.back().second.sensor_state, SensorState::session_ended);
}

// A folder Brevalt cannot write is told once, not at every tick, and tried
// again at each; the sensor is never held up by it. Without metrics= no
// file is written at all.
TEST_F(TellingScenario, UnwritableMetricsFileIsToldOnceAndTriedAgain) {
    test::write_file(dir / "brevalt.ini", "03:30\nmetrics=" + k_metrics + "\n");
    metrics.failure = SysResult::failure("open", EACCES);
    ASSERT_FALSE(core.start_up().has_value());
    for (int i = 0; i < 3; ++i) core.on_tick();
    EXPECT_EQ(sensor.starts, 1);
    const std::string unwritten = "The metrics file \"" + k_metrics + "\" could not be written: "
                                  "Permission denied. Brevalt tries again at each check; the sensor runs on";
    EXPECT_EQ(shell.notifications, Texts{unwritten});
    metrics.failure = SysResult::success();
    core.on_tick();
    EXPECT_EQ(metrics.written.size(), 1u);
    EXPECT_EQ(platform.told.back(), "info: The metrics file \"" + k_metrics + "\" is written again");
    metrics.failure = SysResult::failure("open", EACCES);
    core.on_tick();
    EXPECT_EQ(shell.notifications, (Texts{unwritten, unwritten}));

    test::CoreHarness plain;
    test::write_file(plain.dir / "brevalt.ini", "03:30\n");
    ASSERT_FALSE(plain.core.start_up().has_value());
    plain.core.on_tick();
    EXPECT_TRUE(plain.metrics.written.empty());
}

// What the operator could not otherwise know at start-up: a time that is
// accepted but never matches, a missing log folder, where the settings were
// looked for. A good start says which sensor serves which folder.
TEST_F(StartUpTest, StartSaysWhatItDidAndWhatWillNeverWork) {
    EXPECT_NE(core.start_up()->message.find("\"" + (dir / "brevalt.ini").string() + "\", read from the current"),
              std::string::npos);
    Core relative(shell, platform, sensor, keeper, metrics);
    EXPECT_NE(relative.start_up()->message.find("\"/home/operator/brevalt.ini\""), std::string::npos);

    start();
    EXPECT_EQ(platform.told.back(),
              R"(info: Brevalt started: sensor process 1001, log folder "/opt/brevalt/log", next rotation 03:30)");
    EXPECT_EQ(shell.notifications, Texts{});
    EXPECT_EQ(sensor.output_path, "/opt/brevalt/log/sensor.out");

    for (const std::string time : {"3:30", "25:00", "abc"}) {
        test::CoreHarness other;
        test::write_file(other.dir / "brevalt.ini", time + "\n");
        other.platform.missing_folder = "/opt/brevalt/log";
        other.sensor.claim = FolderClaim::taken_over_from(4711);
        ASSERT_FALSE(other.core.start_up().has_value());
        EXPECT_EQ(other.shell.notifications.at(0).rfind("The rotation time \"" + time + "\" never matches", 0), 0u);
        EXPECT_EQ(other.shell.notifications.at(1),
                  R"(The log folder "/opt/brevalt/log" does not exist: the logs cannot be rotated until it is made)");
        EXPECT_EQ(other.shell.icon_states,
                  Texts{"running: Brevalt: sensor running since 00:00, no rotation is scheduled"});
        EXPECT_EQ(other.platform.told.back(), "info: Brevalt started: sensor process 4711 (taken over), log folder "
                                              "\"/opt/brevalt/log\", next rotation none (the time \"" + time +
                                                  "\" never matches)");
        for (int i = 0; i < 2880; ++i) {
            other.clock.advance(30);
            other.core.on_tick();
        }
        EXPECT_EQ(other.sensor.stops, 0);
    }
}

// The first tick after a start never makes up for a minute before it, on
// the day of the start or the day before; the minute after it rotates.
TEST_F(StartUpTest, FirstTickRotatesOnlyForAMinuteAfterTheStart) {
    start();
    clock.advance(30);
    core.on_tick();
    EXPECT_EQ(sensor.stops, 0);
    clock.set(test::FakeClock::at(2026, 12, 7, 3, 29, 20));
    test::CoreHarness early;
    early.clock.set(test::FakeClock::at(2026, 12, 7, 3, 29, 20));
    test::write_file(early.dir / "brevalt.ini", "03:30\n");
    ASSERT_FALSE(early.core.start_up().has_value());
    for (const int stops : {0, 1, 1}) {
        early.clock.advance(30);
        early.core.on_tick();
        EXPECT_EQ(early.sensor.stops, stops);
    }
    EXPECT_EQ(early.platform.told.size(), 2u) << "the start and the rotation, and no minute passed unseen";
}

// A rotation with no log folder names the folder, not each log; a sensor
// that ends by itself is quoted from its own output.
TEST_F(SensorWatchScenario, MissingFolderAtTheMinuteAndTheSensorsLastWordsAreTold) {
    platform.dir = dir.path().string();
    platform.real_files = true;
    start();
    core.rotate_now();
    EXPECT_EQ(shell.notifications.at(1),
              "The logs could not be rotated: the log folder \"" + platform.dir + "/log\" does not exist");
    std::filesystem::create_directory(dir / "log");
    test::write_file(sensor.output_path, "Snort starting\nERROR: Can't start DAQ (-1) - eth9: No such device!\r\n\n");
    sensor.end_by_itself({SensorEnd::How::exited, 1});
    core.on_sensor_end_seen();
    EXPECT_EQ(shell.notifications.back(), "The sensor ended by itself (exit status 1); its last words in " +
                                              sensor.output_path + ": ERROR: Can't start DAQ (-1) - eth9: No such device!");
    EXPECT_EQ(platform.told.back(), "warning: " + shell.notifications.back());
}

}  // namespace
}  // namespace brevalt
