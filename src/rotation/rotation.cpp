#include "rotation/rotation.h"

#include <cerrno>

#include "rotation/clock_text.h"

namespace brevalt {

std::string log_dir(Platform& platform) {
    ProgramDir dir = platform.program_dir();
    if (!dir.result.ok() || dir.path.empty()) return {};
    const char sep = platform.path_separator();
    return dir.path + sep + "log" + sep;
}

namespace {

SysResult rename_to_dated(Platform& platform, const std::string& dir, const char* log_name, std::string& dated_name) {
    // The date is read afresh for each log, so a rotation that straddles
    // midnight names each file by the date on which it was moved.
    dated_name = std::string(log_name) + "." + date_stamp(platform.now());
    if (dir.empty()) return SysResult::failure("program_dir", ENOENT);
    return platform.rename_no_replace(dir + log_name, dir + dated_name);
}

}  // namespace

RotationReport rotate_logs(Platform& platform, Sensor& sensor) {
    RotationReport report;
    sensor.stop();
    // The sensor is given a fixed time to close its logs before they move;
    // nothing else tells us when it has finished.
    platform.sleep_ms(k_rotate_wait_ms);
    // One that ignored the request is ended now, so it cannot go on writing
    // into a file that is about to carry a date.
    sensor.ensure_stopped_gone();

    report.log_dir = log_dir(platform);
    report.alert_rename = rename_to_dated(platform, report.log_dir, k_alert_log, report.alert_dated_name);
    report.scan_rename = rename_to_dated(platform, report.log_dir, k_scan_log, report.scan_dated_name);
    report.start = sensor.start();
    return report;
}

}  // namespace brevalt
