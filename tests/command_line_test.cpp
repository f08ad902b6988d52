// The command line, `--check` and the sensor's last words: what an operator
// reads before and after Brevalt runs.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/sensor_output.h"
#include "app/settings_check.h"
#include "fakes.h"

namespace brevalt {
namespace {

using Action = CommandLine::Action;

Action action_of(std::vector<std::string_view> args, bool windows = false) {
    return parse_command_line(args, windows).action;
}

TEST(CommandLine, QuestionsAreAnsweredAndOnlyAnEmptyLineRunsBrevalt) {
    EXPECT_EQ(action_of({}), Action::run);
    EXPECT_EQ(action_of({"--help"}), Action::help);
    EXPECT_EQ(action_of({"-h"}), Action::help);
    EXPECT_EQ(action_of({"--version"}), Action::version);
    EXPECT_EQ(action_of({"--check"}), Action::check);
    EXPECT_EQ(action_of({"--check"}, true), Action::unknown_option) << "the Windows program stays small";
    EXPECT_EQ(action_of({"/?"}), Action::unknown_option) << "a Windows question elsewhere";
    EXPECT_EQ(action_of({"/?"}, true), Action::help);
    EXPECT_EQ(action_of({"--logon"}), Action::unknown_option);
    EXPECT_EQ(action_of({"--logon"}, true), Action::run_at_logon);
    EXPECT_EQ(action_of({"--reload"}), Action::unknown_option) << "SIGHUP does it elsewhere";
    EXPECT_EQ(action_of({"--reload"}, true), Action::reload);
    EXPECT_EQ(parse_command_line({"rotate"}, false).request, ControlRequest::rotate);
    EXPECT_EQ(action_of({"stop"}, true), Action::unknown_option) << "no channel client on Windows yet";
    EXPECT_EQ(action_of({"subscribe"}), Action::unknown_option) << "the tray's request, not an operator's";
    const CommandLine extra = parse_command_line({"--help", "--bogus"}, false);
    EXPECT_EQ(extra.action, Action::unknown_option) << "a second word is never dropped unseen";
    EXPECT_EQ(extra.option, "--bogus");
}

TEST(CommandLine, UsageNamesEverySettingSignalAndOption) {
    const std::string usage = usage_text({"/etc/opt/brevalt/brevalt.ini", "/opt/brevalt/log", "/opt/brevalt/log/sensor.out",
                                          "beside the program", "journalctl -t brevalt", " | --check", "--check reads"});
    for (const char* named : {"keep=N", "compress=yes", "metrics=PATH", "--check", "SIGHUP", "SIGTERM",
                              "/etc/opt/brevalt/brevalt.ini", "/opt/brevalt/log", "comma"}) {
        EXPECT_NE(usage.find(named), std::string::npos) << named;
    }
}

class SettingsCheckTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::FakeClock clock{test::FakeClock::at(2026, 12, 6, 9, 0, 0)};
    test::EventLog log;
    test::FakePlatform platform{clock, log};
    const std::string ini = (dir / "brevalt.ini").string();
    // An absolute path as each system writes one.
    const std::string metrics = (dir / "brevalt.prom").string();
};

TEST_F(SettingsCheckTest, SaysWhatEachSettingWouldDoAndWhereTheSensorIs) {
    test::write_file(dir / "brevalt.ini", "03:30\nkeep=30\ncompress=yes\nmetrics=" + metrics + "\nspeed=fast\n");
    SettingsCheck check = check_settings(platform, ini, {"/opt/brevalt/snort", {}});
    EXPECT_EQ(check.status, 0);
    for (const std::string& named : {ini, std::string("03:30, every day"), std::string("30 newest dates"),
                                    std::string("gzipped"), metrics,
                                    std::string("/opt/brevalt/log"), std::string("/opt/brevalt/snort"),
                                    std::string("\"speed\"")}) {
        EXPECT_NE(check.report.find(named), std::string::npos) << named << "\n" << check.report;
    }
    test::write_file(dir / "brevalt.ini", "3:30\n");
    platform.missing_folder = "/opt/brevalt/log";
    check = check_settings(platform, ini, {std::nullopt, "/opt/brevalt, /usr/bin"});
    EXPECT_EQ(check.status, 0) << "Brevalt starts with a time that never matches, and says so";
    for (const char* named : {"never matches", "missing", "not found in /opt/brevalt, /usr/bin"}) {
        EXPECT_NE(check.report.find(named), std::string::npos) << named << "\n" << check.report;
    }
}

TEST_F(SettingsCheckTest, AFileBrevaltWouldNotStartWithFailsNamingTheLine) {
    test::write_file(dir / "brevalt.ini", "# rotation time\n03:30\n");
    SettingsCheck check = check_settings(platform, ini, {"/opt/brevalt/snort", {}});
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.report.find("line 1 \"# rotation time\" is a remark"), std::string::npos) << check.report;
    test::write_file(dir / "brevalt.ini", "03:30\nkeep=lots\n");
    check = check_settings(platform, ini, {"/opt/brevalt/snort", {}});
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.report.find("line 2"), std::string::npos) << check.report;
    check = check_settings(platform, (dir / "missing.ini").string(), {"/opt/brevalt/snort", {}});
    EXPECT_EQ(check.status, 1);
}

// A sensor that cannot open its interface says why in its own words, in
// whatever language its messages are.
TEST(SensorsLastWords, TheLastLineThatSaysSomethingKeepsItsCharacters) {
    test::TempDir dir;
    const std::string out = (dir / "sensor.out").string();
    test::write_file(dir / "sensor.out", "starting\nERROR: インターフェース eth9 を開けません\x1b[0m\t(権限)\r\n\n  \n");
    EXPECT_EQ(last_line_of(out), "ERROR: インターフェース eth9 を開けません[0m (権限)");
    std::string long_line(400, 'x');
    long_line.replace(299, 3, "あ");  // a character across the cut
    test::write_file(dir / "sensor.out", std::string(10000, '.') + "\n" + long_line + "\n");
    const std::string cut = last_line_of(out);
    EXPECT_EQ(cut, std::string(299, 'x') + "...") << "never half a character";
    EXPECT_EQ(last_line_of((dir / "none").string()), "");
}

}  // namespace
}  // namespace brevalt
