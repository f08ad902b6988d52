#include "app/settings_check.h"

#include <variant>

#include "app/settings.h"
#include "rotation/log_names.h"
#include "rotation/schedule.h"

namespace brevalt {

namespace {

void line(std::string& report, const char* name, const std::string& value) {
    std::string padded(name);
    padded.resize(16, ' ');
    report += "  " + padded + value + "\n";
}

}  // namespace

SettingsCheck check_settings(Platform& platform, const std::string& settings_path, const SensorLookup& sensor) {
    SettingsCheck check;
    const std::string path = platform.absolute_path(settings_path);
    auto read = read_settings(path, [&platform](int error) { return platform.error_text(error); });
    if (const auto* error = std::get_if<SettingsError>(&read)) {
        check.report = "brevalt: " + error->message + "\nBrevalt would not start with it.\n";
        check.status = 1;
        return check;
    }
    const Settings& settings = std::get<Settings>(read);
    std::string& report = check.report;
    report = "The settings file " + path + " reads, and Brevalt would start with it:\n";
    line(report, "rotation time", minute_of_day(settings.rotation_time)
                                      ? settings.rotation_time + ", every day"
                                      : "\"" + settings.rotation_time + "\", which never matches: no rotation (HH:MM, "
                                                                         "two digits each, is expected)");
    line(report, "keep", settings.keeping.keep_dates == 0
                             ? "off: no dated log is ever deleted"
                             : "the dated logs of the " + std::to_string(settings.keeping.keep_dates) + " newest dates");
    line(report, "compress", settings.keeping.compress ? "yes: dated logs are gzipped" : "no");
    line(report, "metrics", settings.metrics_path.empty() ? "off" : settings.metrics_path);
    const std::string folder = log_folder(platform);
    if (folder.empty()) {
        line(report, "log folder", "unknown: the program's folder cannot be found");
    } else {
        line(report, "log folder", folder + (platform.is_folder(folder) ? "" : " (missing: no rotation until it is made)"));
    }
    line(report, "sensor", sensor.found ? *sensor.found
                                        : "not found in " + sensor.searched + " (Brevalt would start and look again "
                                                                              "at every check)");
    for (const Text& warning : settings.warnings) report += "warning: " + english(warning) + "\n";
    return check;
}

}  // namespace brevalt
