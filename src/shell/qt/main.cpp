#include <QApplication>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/settings_check.h"
#include "control/posix/control_client.h"
#include "control/posix/socket_places.h"
#include "display_reach.h"
#include "main_window.h"
#include "session_end.h"
#include "platform/system_platform.h"
#include "keeping/posix/background_keeper.h"
#include "metrics/file_metrics_writer.h"
#include "sensor/posix/posix_sensor.h"
#include "shell/service/service.h"
#include "control/posix/socket_link.h"

namespace {

// The session's language for messages, as the C library decides it.
bool japanese_session() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

// What only the Linux program offers, for its usage.
constexpr const char* k_own_options =
    "\n"
    "  --check         read the settings file, say what Brevalt would do\n"
    "                  with it and exit 0 if it would start, 1 if not; starts nothing\n"
    "  --service       run as the machine's service, as systemd's unit\n"
    "                  brevalt.service does: no display, no icon, no window\n"
    "  status          the sensor's state from the Brevalt that owns it: the\n"
    "                  machine's service, else this user's own; exit 0 running, 3 not\n"
    "  start, stop, rotate\n"
    "                  have that Brevalt start or stop the sensor, or rotate\n"
    "                  now; exit 0 done, 1 refused or failed, 4 not permitted (status\n"
    "                  too, and when it cannot tell), 7 no Brevalt runs\n";

}  // namespace

// Brevalt on a Linux desktop: the window starts up and then lives on the
// event loop until "終了" or the window is closed.
int main(int argc, char* argv[]) {
    // The command line is answered before anything is started or connected
    // to: a question needs no display and starts no sensor.
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const brevalt::CommandLine line = brevalt::parse_command_line(args, false);
    brevalt::SystemPlatform platform;
    const auto places = [&platform] {
        brevalt::UsagePlaces found = brevalt::usage_places(
            platform, "\"snort\" beside the program, then in each absolute folder of PATH",
            "journalctl -t brevalt, or /var/log/syslog");
        found.own_usage = " | --check | --service | status | start | stop | rotate";
        found.own_options = k_own_options;
        return found;
    };
    switch (line.action) {
    case brevalt::CommandLine::Action::help:
        std::fputs(brevalt::usage_text(places()).c_str(), stdout);
        return 0;
    case brevalt::CommandLine::Action::version:
        std::printf("brevalt %s\n", BREVALT_VERSION);
        return 0;
    case brevalt::CommandLine::Action::check: {
        const brevalt::PosixSensor sensor(platform.program_dir().path);
        brevalt::SensorLookup lookup{sensor.find_executable(), {}};
        for (const std::string& folder : sensor.search_folders()) {
            lookup.searched += (lookup.searched.empty() ? "" : ", ") + folder;
        }
        const brevalt::SettingsCheck check = brevalt::check_settings(platform, brevalt::k_settings_file_name, lookup);
        std::fputs(check.report.c_str(), check.status == 0 ? stdout : stderr);
        return check.status;
    }
    case brevalt::CommandLine::Action::service: {
        brevalt::PosixSensor sensor(platform.program_dir().path);
        brevalt::BackgroundKeeper keeper;
        brevalt::FileMetricsWriter metrics_writer;
        return brevalt::run_service(platform, sensor, keeper, metrics_writer);
    }
    case brevalt::CommandLine::Action::ask_brevalt: {
        const brevalt::ClientAnswer answer = brevalt::ask_brevalt(line.request, brevalt::control_sockets());
        std::fputs(answer.out.c_str(), stdout);
        std::fputs(answer.err.c_str(), stderr);
        return answer.status;
    }
    case brevalt::CommandLine::Action::reload:  // Windows only: SIGHUP does it here
    case brevalt::CommandLine::Action::unknown_option:
        std::fputs(brevalt::unknown_option_text(line, places()).c_str(), stderr);
        return brevalt::k_usage_error_status;
    case brevalt::CommandLine::Action::run:
    case brevalt::CommandLine::Action::run_at_logon:
        break;
    }
    // Where no display answers the toolkit would abort the process with
    // advice that does not help: Brevalt says what it needs instead.
    if (const std::optional<std::string> why = why_no_display()) {
        platform.log_event(brevalt::Priority::err, *why);
        return brevalt::k_startup_error_status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevalt"));
    QApplication::setApplicationVersion(QStringLiteral(BREVALT_VERSION));
    // A copy restored from a session saved before Brevalt asked never to be
    // restarted: the autostart entry starts the one Brevalt of this logon.
    if (app.isSessionRestored()) {
        std::fputs("brevalt: not started again from a saved session; the autostart entry starts Brevalt\n", stderr);
        return 0;
    }
    never_restart_with_session();
    QTranslator japanese;
    if (japanese_session() && japanese.load(QStringLiteral(":/i18n/brevalt_ja.qm"))) {
        QCoreApplication::installTranslator(&japanese);
    }

    // Where the machine's service owns the sensor (enabled under systemd, or
    // answering on its socket whoever started it), this session shows it and
    // acts through its channel, and never starts a sensor of its own.
    if (brevalt::machine_service_present()) {
        brevalt::SocketLink service(brevalt::k_machine_socket);
        return run_view(platform, service);
    }
    brevalt::PosixSensor sensor(platform.program_dir().path);
    // The keeper owns its folder operations: a worker still inside a call
    // when the exit stops waiting for it must not outlive what it uses.
    brevalt::BackgroundKeeper keeper;
    brevalt::FileMetricsWriter metrics_writer;
    return run_program(platform, sensor, keeper, metrics_writer);
}
