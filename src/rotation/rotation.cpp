#include "rotation/rotation.h"

#include <cerrno>


namespace brevalt {

namespace {

SysResult rename_to_dated(Platform& platform, const std::string& folder, const char* log_name, std::string& dated,
                          std::string& taken_by) {
    // The date is read afresh for each log, so a rotation that straddles
    // midnight names each file by the date on which it was moved.
    dated = dated_name(log_name, platform.now());
    if (folder.empty()) return SysResult::failure("program_dir", ENOENT);
    const std::string dated_path = path_in(platform, folder, dated);
    for (const std::string_view form : k_taken_forms) {
        if (platform.name_exists(dated_path + std::string(form))) {
            taken_by = dated + std::string(form);
            return SysResult::failure("name_exists", 0);
        }
    }
    SysResult renamed = platform.rename_no_replace(path_in(platform, folder, log_name), dated_path);
    if (!renamed.ok() && platform.name_taken(renamed.error)) taken_by = dated;
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

    report.log_folder = log_folder(platform);
    // Another Brevalt serves the folder now, or something of the old sensor
    // still holds it: the logs are not this Brevalt's to move.
    if (!sensor.holds_claim()) {
        report.alert_dated_name = dated_name(k_alert_log, platform.now());
        report.scan_dated_name = dated_name(k_scan_log, platform.now());
        report.alert_rename = report.scan_rename = SysResult::failure("flock", EWOULDBLOCK);
        report.start = SensorStart::because(SensorStart::Outcome::claim_lost);
        return report;
    }
    report.alert_rename =
        rename_to_dated(platform, report.log_folder, k_alert_log, report.alert_dated_name, report.alert_taken_by);
    report.scan_rename =
        rename_to_dated(platform, report.log_folder, k_scan_log, report.scan_dated_name, report.scan_taken_by);
    report.start = sensor.start();
    return report;
}

}  // namespace brevalt
