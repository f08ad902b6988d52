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

class StartUpTest : public ::testing::Test, protected test::CoreHarness {
protected:
    StartUpTest() { clock.set(test::FakeClock::at(2026, 12, 6, 9, 4, 7)); }
    void start(bool notification_area = true) {
        test::write_file(dir / "brevalt.ini", "03:30\r\n");
        shell.notification_area = notification_area;
        ASSERT_FALSE(core.start_up().has_value());
    }
};

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
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::held_elsewhere, "alice, process 4242");
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
TEST_F(StartUpTest, WithoutALogFolderTheProgramFolderIsClaimed) {
    sensor.missing_folder = "/opt/brevalt/log";
    start();
    EXPECT_EQ(log, (test::EventLog{"claim /opt/brevalt/log", "claim /opt/brevalt", "sensor start"}));
}

// A sensor an earlier Brevalt left running is watched, not doubled: neither
// at start-up nor by "Snort実行"; one that ends is started again as ours.
TEST_F(StartUpTest, SensorLeftRunningIsTakenOverAndNeverDoubled) {
    sensor.claim = FolderClaim::of(FolderClaim::Outcome::taken_over, {}, 4711);
    start();
    core.start_sensor();
    EXPECT_EQ(sensor.starts, 0);
    EXPECT_EQ(shell.notifications, (Texts{"The sensor left running by an earlier Brevalt (process 4711) is watched again",
                                          "The sensor already runs (process 4711): no second one is started"}));
    sensor.end_by_itself();
    clock.advance(600);
    core.on_tick();
    EXPECT_EQ(sensor.starts, 1);
}

// The end of the desktop session ends the sensor Brevalt started, giving it
// time to close its logs and killing it after that; "終了" leaves it running,
// and a process that ends after either acts no more.
TEST_F(StartUpTest, SessionEndStopsTheSensorButTheOperatorsExitLeavesIt) {
    start();
    sensor.polls_until_gone = 1000;  // one that ignores the request
    log.clear();
    core.end_session();
    EXPECT_TRUE(shell.ended);
    EXPECT_EQ(std::count(log.begin(), log.end(), "sleep 100"), 30);
    EXPECT_EQ(log.back(), "sensor ensure_stopped_gone");
    core.on_process_end();  // the event loop returns after it
    EXPECT_EQ(sensor.stops, 1);

    test::CoreHarness other;
    test::write_file(other.dir / "brevalt.ini", "03:30\n");
    ASSERT_FALSE(other.core.start_up().has_value());
    other.core.exit_program();
    other.core.on_process_end();
    EXPECT_TRUE(other.shell.ended);
    EXPECT_EQ(other.sensor.stops, 0);
}


// A sensor that ends by itself is told and started again at the next tick;
// one that keeps ending within a minute of its start is given up, once,
// until the operator starts it. One stopped by the operator stays stopped.
TEST_F(StartUpTest, SensorEndingByItselfIsStartedAgainUntilItEndsQuicklyThreeTimesInARow) {
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
    for (void (Core::*act)() : {&Core::start_sensor, &Core::rotate_now, &Core::stop_sensor}) {
        shell.notifications.clear();
        sensor.end_by_itself({SensorEnd::How::exited, 2});
        (core.*act)();
        EXPECT_EQ(shell.notifications, Texts{"The sensor ended by itself (exit status 2)"});
    }
    live_and_end(20, {});
    EXPECT_EQ(sensor.starts, 11);
}

TEST_F(StartUpTest, FailedStartIsTold) {
    sensor.start_result = SysResult::failure(k_sensor_not_found_call, ENOENT);
    start();
    sensor.start_result = SysResult::failure("posix_spawn", EACCES);
    core.start_sensor();
    EXPECT_EQ(shell.notifications,
              (Texts{R"(The sensor could not be started: no executable "snort" beside Brevalt or on PATH)",
                     "The sensor could not be started: Permission denied"}));
}

// What went wrong in a rotation reaches the operator; a rotation that went
// well only the system log. A nearly full disk is told once a day.
TEST_F(StartUpTest, RotationOutcomesAndANearlyFullDiskAreTold) {
    platform.dir = dir.path().string();
    platform.real_files = true;
    std::filesystem::create_directory(dir / "log");
    start();
    clock.set(test::FakeClock::at(2026, 12, 7, 3, 30, 5));
    test::write_file(dir / "log" / "alert.ids", "today");
    test::write_file(dir / "log" / "alert.ids.20261207", "earlier");
    core.rotate_now();
    EXPECT_EQ(shell.notifications,
              (Texts{"alert.ids kept its name: alert.ids.20261207 exists already",
                     "scan.log could not be renamed to scan.log.20261207: No such file or directory"}));

    platform.told.clear();
    platform.space = {std::uint64_t{812} << 20, std::uint64_t{2} << 30, {}};  // few bytes, a large share
    clock.set(test::FakeClock::at(2026, 12, 8, 3, 29, 5));
    test::write_file(dir / "log" / "scan.log", "scans");
    sensor.start_result = SysResult::failure("posix_spawn", EACCES);
    core.rotate_now();
    EXPECT_EQ(platform.told, (Texts{"info: The logs were rotated: alert.ids.20261208, scan.log.20261208",
                                    "err: The sensor could not be started: Permission denied",
                                    "warning: The log folder's file system is nearly full: 812 MiB free (39%)"}));
    sensor.start_result = SysResult::success();

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
TEST_F(StartUpTest, DatedLogsAreKeptAfterTheSensorRunsAndWhatWasDoneIsTold) {
    test::write_file(dir / "brevalt.ini", "03:30\nkeep=30\ncompress=yes\nrotate=weekly\n");
    ASSERT_FALSE(core.start_up().has_value());
    const auto after = [this](const std::string& first, const std::string& then) {
        const auto at = std::find(log.begin(), log.end(), first);
        return std::find(at, log.end(), then) != log.end();
    };
    EXPECT_TRUE(after("sensor start", "tidy /opt/brevalt/log"));
    ASSERT_EQ(keeper.passes.size(), 1u);
    EXPECT_EQ(keeper.passes[0].second.keep_dates, 30u);
    EXPECT_TRUE(keeper.passes[0].second.compress);
    ASSERT_EQ(shell.notifications.size(), 1u);
    EXPECT_NE(shell.notifications[0].find("\"rotate\" on line 4"), std::string::npos);

    log.clear();
    core.rotate_now();
    EXPECT_TRUE(after("sensor start", "tidy /opt/brevalt/log"));

    KeepReport report;
    report.deleted = 4;
    report.oldest_alert_date_kept = 20261108;
    report.oldest_scan_date_kept = 20261109;
    report.failures = {{"alert.ids.20261001", true, SysResult::failure("unlink", EACCES)},
                       {"scan.log.20261001", true, SysResult::failure("unlink", EACCES)}};
    report.volume_cannot_compress = true;
    keeper.reports = {report, report};
    platform.told.clear();
    shell.notifications.clear();
    core.on_tick();
    const std::string deleted =
        "info: 4 dated logs older than the newest 30 dates were deleted; the oldest kept: alert.ids.20261108 "
        "scan.log.20261109";
    const std::string failed =
        "warning: 2 dated logs, alert.ids.20261001 the first, could not be deleted: Permission denied";
    EXPECT_EQ(platform.told,
              (Texts{deleted, failed,
                     "warning: The log folder's volume cannot compress files: compress=yes is not carried out there",
                     deleted, failed}));
    EXPECT_EQ(shell.notifications.size(), 3u);

    core.exit_program();
    EXPECT_TRUE(keeper.stopped);
}

TEST_F(StartUpTest, WithoutKeepOrCompressNothingIsKept) {
    start();
    core.rotate_now();
    EXPECT_TRUE(keeper.passes.empty());
}

// The icon tells whether a sensor runs and why not, and changes only when
// that does: a tick that finds everything as it was redraws nothing.
TEST_F(StartUpTest, IconFollowsTheSensorAndChangesOnlyWithIt) {
    const std::string next = ", next rotation 03:30";
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
    sensor.start_result = SysResult::failure("posix_spawn", EACCES);
    shell.translated = true;
    core.stop_sensor();
    core.start_sensor();
    EXPECT_EQ(shell.icon_states.back(), "none: «Brevalt: sensor could not be started, next rotation 03:30»");
    EXPECT_EQ(shell.notifications.back(), "«The sensor could not be started: Permission denied»");
    EXPECT_EQ(platform.told.back(), "err: The sensor could not be started: Permission denied");
}

// What the operator could not otherwise know at start-up: a time that is
// accepted but never matches, a missing log folder, where the settings were
// looked for. A good start says which sensor serves which folder.
TEST_F(StartUpTest, StartSaysWhatItDidAndWhatWillNeverWork) {
    EXPECT_NE(core.start_up()->message.find("\"" + (dir / "brevalt.ini").string() + "\", read from the current"),
              std::string::npos);
    Core relative(shell, platform, sensor, keeper);
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
        other.sensor.claim = FolderClaim::of(FolderClaim::Outcome::taken_over, {}, 4711);
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
TEST_F(StartUpTest, MissingFolderAtTheMinuteAndTheSensorsLastWordsAreTold) {
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
