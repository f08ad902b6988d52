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

SysResult rename_to_dated(Platform& platform, const std::string& dir, const char* log_name, std::string& dated_name,
                          std::string& taken_by) {
    // The date is read afresh for each log, so a rotation that straddles
    // midnight names each file by the date on which it was moved.
    dated_name = std::string(log_name) + "." + date_stamp(platform.now());
    if (dir.empty()) return SysResult::failure("program_dir", ENOENT);
    for (const char* form : {".gz", ".gz.partial", ".partial"}) {
        if (platform.name_exists(dir + dated_name + form)) {
            taken_by = dated_name + form;
            return SysResult::failure("name_exists", 0);
        }
    }
    SysResult renamed = platform.rename_no_replace(dir + log_name, dir + dated_name);
    if (!renamed.ok() && platform.name_taken(renamed.error)) taken_by = dated_name;
    return renamed;
}

}  // namespace

RotationReport rotate_logs(Platform& platform, Sensor& sensor) {
    RotationReport report;
    sensor.stop();
    // The sensor is given a fixed time to close its logs before they move;
    // nothing else tells us when it has finished. It is asked meanwhile
    // whether it is gone: a sensor taken over held the folder's claim, which
    // is taken back the moment it is gone rather than after the wait.
    for (unsigned waited = 0; waited < k_rotate_wait_ms; waited += k_rotate_wait_step_ms) {
        platform.sleep_ms(k_rotate_wait_step_ms);
        (void)sensor.stopped_gone();
    }
    // One that ignored the request is ended now, so it cannot go on writing
    // into a file that is about to carry a date.
    sensor.ensure_stopped_gone();

    report.log_dir = log_dir(platform);
    // Another Brevalt serves the folder now, or something of the old sensor
    // still holds it: the logs are not this Brevalt's to move.
    if (!sensor.holds_claim()) {
        report.alert_dated_name = std::string(k_alert_log) + "." + date_stamp(platform.now());
        report.scan_dated_name = std::string(k_scan_log) + "." + date_stamp(platform.now());
        report.alert_rename = report.scan_rename = SysResult::failure("flock", EWOULDBLOCK);
        report.start = SensorStart::because(SensorStart::Outcome::claim_lost);
        return report;
    }
    report.alert_rename =
        rename_to_dated(platform, report.log_dir, k_alert_log, report.alert_dated_name, report.alert_taken_by);
    report.scan_rename =
        rename_to_dated(platform, report.log_dir, k_scan_log, report.scan_dated_name, report.scan_taken_by);
    report.start = sensor.start();
    return report;
}

}  // namespace brevalt
