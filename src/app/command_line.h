#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "control/control_state.h"

// What the program was asked on its command line, decided before anything
// else: a question about the program is answered without a display, a
// settings file or a sensor.
namespace brevalt {

struct CommandLine {
    enum class Action {
        run,             // no option: the program as always
        run_at_logon,    // Windows: started by the start at logon of every user
        help,            // --help, -h (and /? on Windows): the usage, status 0
        version,         // --version
        check,           // --check: what the settings file would do, status 0 or 1
        reload,          // Windows --reload: the running Brevalt reads its settings again
        service,         // Linux --service: the machine's service, headless, under systemd
        ask_brevalt,     // Linux status, start, stop, rotate: asked of the Brevalt that owns the sensor
        unknown_option   // anything else: an error with the usage
    };
    Action action = Action::run;
    std::string option;  // the first argument not understood, for the error
    ControlRequest request = ControlRequest::status;  // what ask_brevalt asks
};

// The status of a command line that could not be understood.
inline constexpr int k_usage_error_status = 2;

// `args` without the program's own name. `windows` adds /?, which is how a
// Windows program is asked for its usage.
CommandLine parse_command_line(const std::vector<std::string_view>& args, bool windows);

// Where this run of the program looks for its files, for the usage to name.
struct UsagePlaces {
    std::string settings_file;  // absolute, in the current directory
    std::string log_folder;     // absolute, beside the program
    std::string sensor_output;  // in the log folder
    std::string sensor_search;  // where the sensor is looked for, in words
    std::string system_log;     // where the system log keeps Brevalt's lines, in words
    // What this system's program alone offers: " | --check" for the usage's
    // first line, and the lines that explain each, for after the places
    // (starting with an empty line).
    std::string own_usage;
    std::string own_options;
};

class Platform;
// The settings file, the log folder and the sensor's output as this
// program, started from here, would use them.
UsagePlaces usage_places(Platform& platform, std::string sensor_search, std::string system_log);

std::string usage_text(const UsagePlaces& places);

// "brevalt: unknown option "-x"" and the usage, for standard error.
std::string unknown_option_text(const CommandLine& line, const UsagePlaces& places);

}  // namespace brevalt
