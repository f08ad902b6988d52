#include "app/command_line.h"

#include "app/sensor_output.h"
#include "app/settings.h"
#include "keeping/log_keeping.h"
#include "rotation/log_names.h"

#include <utility>

namespace brevalt {

namespace {

// The words by which an operator asks the Brevalt that owns the sensor,
// the same as the control channel's requests.
bool asks_brevalt(std::string_view word, ControlRequest& request) {
    constexpr std::pair<std::string_view, ControlRequest> k_words[] = {{"status", ControlRequest::status},
                                                                       {"start", ControlRequest::start},
                                                                       {"stop", ControlRequest::stop},
                                                                       {"rotate", ControlRequest::rotate}};
    for (const auto& [name, asked] : k_words) {
        if (word == name) {
            request = asked;
            return true;
        }
    }
    return false;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string_view>& args, bool windows) {
    CommandLine line;
    if (args.empty()) return line;
    const std::string_view first = args.front();
    if (first == "--help" || first == "-h" || (windows && first == "/?")) {
        line.action = CommandLine::Action::help;
    } else if (first == "--version") {
        line.action = CommandLine::Action::version;
    } else if (!windows && first == "--check") {
        line.action = CommandLine::Action::check;
    } else if (!windows && first == "--service") {
        line.action = CommandLine::Action::service;
    } else if (!windows && asks_brevalt(first, line.request)) {
        line.action = CommandLine::Action::ask_brevalt;
    } else if (windows && first == "--reload") {
        line.action = CommandLine::Action::reload;
    } else if (windows && first == "--logon") {
        line.action = CommandLine::Action::run_at_logon;
    } else {
        line.action = CommandLine::Action::unknown_option;
        line.option = first;
        return line;
    }
    // A question answered while a second word is silently dropped would leave
    // the operator believing it was understood.
    if (args.size() > 1) {
        line.action = CommandLine::Action::unknown_option;
        line.option = args[1];
    }
    return line;
}

UsagePlaces usage_places(Platform& platform, std::string sensor_search, std::string system_log) {
    UsagePlaces places;
    places.settings_file = platform.absolute_path(k_settings_file_name);
    places.log_folder = log_folder(platform);
    if (places.log_folder.empty()) places.log_folder = "(unknown: the program's folder cannot be found)";
    places.sensor_output = path_in(platform, places.log_folder, k_sensor_output_name);
    places.sensor_search = std::move(sensor_search);
    places.system_log = std::move(system_log);
    return places;
}

std::string usage_text(const UsagePlaces& places) {
    return "Usage: brevalt [--help | -h | --version" + places.own_usage + "]\n"
           "\n"
           "Brevalt keeps the network sensor running while the operator's desktop session\n"
           "runs, and once a day, at the time set in brevalt.ini, stops it, gives its two\n"
           "logs (alert.ids and scan.log) dated names and starts it again. It lives in the\n"
           "notification area; a left click on its icon shows its window. Its exit leaves\n"
           "the sensor running; the end of the desktop session ends it.\n"
           "\n"
           "Where it looks:\n"
           "  settings file   " + places.settings_file + " (the current directory)\n"
           "  log folder      " + places.log_folder + " (beside the program)\n"
           "  sensor          " + places.sensor_search + "\n"
           "  sensor's output " + places.sensor_output + " (begun afresh at each start)\n" +
           places.own_options +
           "\n"
           "brevalt.ini:\n"
           "  first line      the rotation time, HH:MM with two digits each (00:00 to 23:59),\n"
           "                  for example 03:30: its first field, which ends at a comma or\n"
           "                  the line's end, blanks around it ignored; another form is\n"
           "                  accepted, never matches, and is told at start-up; a first\n"
           "                  line starting with # is refused\n"
           "  keep=N          keep the dated logs of the N newest dates (1 to " +
           std::to_string(k_max_keep_dates) + ");\n"
           "                  without it no log is ever deleted\n"
           "  compress=yes    compress the dated logs\n"
           "  metrics=PATH    write Brevalt's state for Prometheus to PATH (absolute, .prom)\n"
           "  lines starting with #, and empty lines, are remarks\n"
           "\n"
           "Signals: SIGHUP reads brevalt.ini again without stopping the sensor; SIGTERM\n"
           "and SIGINT end Brevalt and its sensor, as the end of the session does. On\n"
           "Windows, brevalt --reload has the running Brevalt read brevalt.ini again.\n"
           "\n"
           "Messages go to standard error and to the system log, as \"brevalt\"\n"
           "(" + places.system_log + ").\n"
           "\n"
           "Exit status:\n"
           "  0  ended by the operator (\"終了\") or by the end of the session; --help,\n"
           "     --version; --check with settings Brevalt would start with\n"
           "  1  could not start: no usable settings, the log folder served by another\n"
           "     Brevalt, no desktop session; --check with settings it would not start with\n"
           "  2  an option it does not know\n";
}

std::string unknown_option_text(const CommandLine& line, const UsagePlaces& places) {
    return "brevalt: unknown option \"" + line.option + "\"\n\n" + usage_text(places);
}

}  // namespace brevalt
