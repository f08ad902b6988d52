#include "app/core.h"

#include <string>
#include <utility>
#include <variant>

#include "app/rotation_news.h"
#include "app/sensor_output.h"
#include "app/settings_change.h"
#include "rotation/clock_text.h"
#include "rotation/log_names.h"
#include "rotation/rotation.h"

namespace brevalt {

Core::Core(Shell& shell, Platform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer,
           std::string settings_path)
    : shell_(shell),
      platform_(platform),
      sensor_(sensor),
      keeper_(keeper),
      settings_path_(std::move(settings_path)),
      telling_(shell, platform, metrics_writer),
      folder_(sensor, platform, telling_),
      watch_(sensor, platform, telling_),
      record_(platform, telling_, sensor),
      window_(shell) {}

std::optional<StartupError> Core::start_up() {
    phase_ = Phase::failed;
    // Named in full in every error: the file is looked for in the current
    // directory, while everything else is looked for beside the program.
    auto settings = read_settings(platform_.absolute_path(settings_path_),
                                  [this](int error) { return platform_.error_text(error); });
    if (auto* error = std::get_if<SettingsError>(&settings)) return refuse_start(error->text);
    Settings& read = std::get<Settings>(settings);
    state_.rotation_time = read.rotation_time;
    log_folder_ = log_folder(platform_);
    telling_.set_rotation_time(state_.rotation_time);
    telling_.keep_metrics_in(read.metrics_path, log_folder_);
    in_force_ = read;
    in_force_.warnings.clear();
    // Only operators may hold the folder's claim: anyone else would keep
    // every operator's Brevalt from starting the sensor.
    if (const std::optional<Text> why = log_folder_.empty() ? std::nullopt : platform_.why_not_operator(log_folder_)) {
        if (!started_at_logon_) return refuse_start(*why);
        telling_.log_only(Priority::info, english(*why));
        return StartupError{english(*why), {}, true};
    }
    const FolderService::Start claim = folder_.claim_at_start(log_folder_);
    if (claim.refusal) return refuse_start(*claim.refusal);
    watch_.serve(folder_.claimed_folder());
    phase_ = Phase::running;
    if (!claim.claim.note.empty()) telling_.log_only(Priority::info, claim.claim.note);

    shell_.show_rotation_time(state_.rotation_time);
    shell_.explain_rotation_time(telling_.shown({TextId::time_box_tip, {platform_.absolute_path(settings_path_)}}));
    const LocalTime started = platform_.now();
    shell_.show_clock(clock_caption(started));
    shell_.start_tick_timer(k_tick_interval_ms);
    state_.rotated_flag = 0;
    schedule_.start(state_.rotation_time, started);
    telling_.rotation_done_today(schedule_.done_today(started));
    window_.appear();
    for (const Text& warning : read.warnings) telling_.tell(Priority::warning, warning);
    for (const News& news : never_rotating_news(state_.rotation_time, log_folder_, platform_)) telling_.tell(news);
    folder_.tell_what_the_claim_found(claim.claim);
    if (!log_folder_.empty()) sensor_.keep_output_in(path_in(platform_, log_folder_, k_sensor_output_name));
    const bool taken_over = claim.claim.outcome == FolderClaim::Outcome::taken_over;
    if (FolderService::waits_for(claim.claim)) {
        folder_.wait_for(claim.claim);
    } else if (taken_over) {
        watch_.watch_taken_over(claim.claim.pid, started);
    } else {
        start_own_sensor(started);
    }
    watch_.tell_started(taken_over, log_folder_, state_.rotation_time);
    keep_logs_in_background();
    return std::nullopt;
}

// The start-up error goes to the system log as well: a Brevalt started at
// logon that refuses to run leaves the network unwatched, and an
// administrator looks there first.
std::optional<StartupError> Core::refuse_start(const Text& text) {
    std::string message = english(text);
    telling_.log_only(Priority::err, message);
    return StartupError{std::move(message), telling_.shown(text)};
}

void Core::on_tick() {
    if (phase_ != Phase::running) return;
    if (folder_.waiting()) {
        const LocalTime now = platform_.now();
        shell_.show_clock(clock_caption(now));
        // The minute passes for this Brevalt too: the one it waited for
        // rotated, or nobody could. Serving later must not rotate at once.
        (void)schedule_.tick(state_.rotated_flag, now);
        serve_or_wait(now);
        return;
    }
    tell_keeping_news();
    watch_.notice_end();
    // One reading serves the clock, the sensor's watch and the schedule, so
    // the window never shows a time other than the one they acted on.
    const LocalTime now = platform_.now();
    shell_.show_clock(clock_caption(now));
    const DailySchedule::Decision due = schedule_.tick(state_.rotated_flag, now);
    const bool rotating = due.kind != DailySchedule::Kind::none;
    // A rotation due now starts a sensor anyway.
    const std::optional<SensorStart> restarted = watch_.on_tick(now, rotating);
    if (restarted && restarted->outcome == SensorStart::Outcome::claim_lost) serve_or_wait(now);
    if (due.kind == DailySchedule::Kind::caught_up) {
        telling_.tell(caught_up_news(state_.rotation_time, due.previous_tick, now));
    }
    if (rotating) {
        rotate();
    } else if (!low_disk_.looked_at_today(now)) {
        if (const std::optional<News> warning = low_disk_.look(platform_, log_folder_, now)) telling_.tell(*warning);
    }
    telling_.rotation_done_today(schedule_.done_today(now));
    telling_.checked();
}

void Core::serve_or_wait(const LocalTime& now) {
    // A start can find the claim lost once more in the instant after it was
    // had again; a second round settles it either way.
    for (int round = 0; round < 2; ++round) {
        const FolderClaim claim = folder_.claim_again();
        if (!claim.ours()) return;
        if (claim.outcome == FolderClaim::Outcome::taken_over) {
            watch_.watch_taken_over(claim.pid, now);
            return;
        }
        if (watch_.start_serving(now).outcome != SensorStart::Outcome::claim_lost) return;
    }
}

void Core::start_sensor(const std::optional<ControlPeer>& by) {
    if (!folder_.refuses_while_waiting()) start_own_sensor(platform_.now());
    record_.chose("Snort実行", "start", folder_.waiting(), by);
}

void Core::start_own_sensor(const LocalTime& now) {
    if (watch_.start_by_operator(now).outcome == SensorStart::Outcome::claim_lost) serve_or_wait(now);
}

void Core::stop_sensor(const std::optional<ControlPeer>& by) {
    if (!folder_.refuses_while_waiting()) watch_.stop_by_operator();
    record_.chose("停止", "stop", folder_.waiting(), by);
}

void Core::rotate_now(const std::optional<ControlPeer>& by) {
    if (!folder_.refuses_while_waiting()) rotate();
    record_.chose("再起動", "rotate", folder_.waiting(), by);
}

void Core::rotate() {
    watch_.forget_end_unseen();
    const RotationReport report = rotate_logs(platform_, sensor_);
    const LocalTime now = platform_.now();
    watch_.rotated(report.start, now);
    telling_.rotated(report.alert_rename.ok() && report.scan_rename.ok(), platform_.unix_time());
    for (const News& news : rotation_news(report, platform_)) telling_.tell(news);
    if (report.start.outcome == SensorStart::Outcome::claim_lost) {
        serve_or_wait(now);
    } else {
        watch_.show_start(report.start, now);
    }
    if (const std::optional<News> warning = low_disk_.look(platform_, report.log_folder, now)) telling_.tell(*warning);
    telling_.rotation_done_today(schedule_.done_today(now));
    std::vector<std::string> rotated;
    if (report.alert_rename.ok()) rotated.push_back(report.alert_dated_name);
    if (report.scan_rename.ok()) rotated.push_back(report.scan_dated_name);
    keep_logs_in_background(rotated);
}

void Core::keep_logs_in_background(const std::vector<std::string>& rotated) {
    // The folder is the serving Brevalt's to tidy: two passes at once would
    // compress the same log twice.
    if (folder_.waiting() || log_folder_.empty()) return;
    // The record of the latest rotation is the rotation's own, written before
    // it returns: a pass may never run (an exit behind a long compression).
    keeper_.mark_rotation(log_folder_, in_force_.keeping, rotated);
    if (in_force_.keeping.any() || !rotated.empty()) keeper_.tidy(log_folder_, in_force_.keeping, rotated);
}

void Core::tell_keeping_news() {
    for (const KeepReport& report : keeper_.take_reports()) {
        telling_.keeping_failed(report.failures.size());
        for (const News& news : keeping_news_.of(report, in_force_.keeping, platform_)) telling_.tell(news);
    }
}

void Core::reload_settings(const std::optional<SignalSender>& by) {
    if (phase_ != Phase::running) return;
    const std::string path = platform_.absolute_path(settings_path_);
    auto settings = read_settings(path, [this](int error) { return platform_.error_text(error); });
    if (const auto* error = std::get_if<SettingsError>(&settings)) {
        telling_.tell(Priority::warning, error->text);
        telling_.tell(Priority::notice, {TextId::settings_not_reloaded, {settings_summary(in_force_)}});
        if (by) record_.signalled(*by, "the settings file did not read, and the settings in force stay");
        return;
    }
    Settings& read = std::get<Settings>(settings);
    for (const Text& warning : read.warnings) telling_.tell(Priority::warning, warning);
    read.warnings.clear();
    const std::string changes = settings_changes(in_force_, read);
    const bool time_changed = read.rotation_time != in_force_.rotation_time;
    const bool keeping_changed =
        read.keeping.keep_dates != in_force_.keeping.keep_dates || read.keeping.compress != in_force_.keeping.compress;
    in_force_ = read;
    telling_.move_metrics_to(read.metrics_path);
    if (time_changed) {
        const LocalTime now = platform_.now();
        state_.rotation_time = read.rotation_time;
        schedule_.change_time(state_.rotation_time, now);
        shell_.show_rotation_time(state_.rotation_time);
        telling_.rotation_done_today(schedule_.done_today(now));
        telling_.set_rotation_time(state_.rotation_time);
        for (const News& news : never_rotating_news(state_.rotation_time, log_folder_, platform_)) telling_.tell(news);
    }
    telling_.tell(Priority::notice, {TextId::settings_reloaded, {path, changes.empty() ? "nothing changed" : changes}});
    if (by) record_.signalled(*by, "the settings were read again");
    telling_.publish_metrics();
    if (keeping_changed) keep_logs_in_background();
}

void Core::on_sensor_end_seen() {
    if (phase_ == Phase::running) watch_.notice_end();
}

void Core::exit_program() {
    // The file's last word, until the heartbeat stops: a sensor that runs
    // on is nobody's to restart or rotate.
    if (phase_ == Phase::running) {
        record_.chose_in_window("終了", folder_.waiting(), true);
        telling_.exited();
    }
    phase_ = Phase::ending;
    keeper_.stop();
    shell_.end_program();
}

void Core::end_session(const std::optional<SignalSender>& by) {
    on_process_end(by);
    shell_.end_program();
}

void Core::on_process_end(const std::optional<SignalSender>& by) {
    const bool serving = phase_ == Phase::running;
    phase_ = Phase::ending;
    // The sensor first: its grace is what the session allows, and a pass
    // must not spend it. The keeper's own stop waits a few seconds at most.
    if (serving) watch_.end_with_session();
    keeper_.stop();
    if (!serving) return;
    if (by) {
        record_.signalled(*by, "Brevalt ended with its sensor");
    } else {
        record_.session_ended();
    }
}

void Core::hand_over_to_service() {
    if (phase_ != Phase::running) return;
    phase_ = Phase::ending;
    watch_.end_with_session();
    keeper_.stop();
    folder_.hand_over();
    telling_.tell(Priority::notice, {TextId::handed_over_to_service, {platform_.user_name()}});
}

void Core::tell_channel_failure(const std::string& path, const SysResult& result) {
    const std::string why = std::string(result.failed_call != nullptr ? result.failed_call : "listen") + ": " +
                            platform_.error_text(result.error);
    telling_.tell(Priority::warning, {TextId::channel_not_opened, {path, why}});
}

void Core::on_icon_clicked() {
    if (phase_ == Phase::running) window_.icon_clicked();
}

void Core::on_notification_area_appeared() {
    if (phase_ == Phase::running) window_.place_icon();
}

}  // namespace brevalt
