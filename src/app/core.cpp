#include "app/core.h"

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "rotation/clock_text.h"
#include "sensor/sensor_output.h"

namespace brevalt {

namespace {

// Below either, a day of logs may no longer fit: a busy sensor writes
// hundreds of megabytes a day, and a few percent of a large disk is a few
// days' margin.
constexpr std::uint64_t k_low_space_bytes = std::uint64_t{1} << 30;
constexpr std::uint64_t k_low_space_percent = 5;

// "03:29:50", with the date in front where the clock went over to another
// day, so that a jump over days reads as one.
std::string wall_clock_text(const LocalTime& t, bool with_date) {
    const std::string time = padded_time_text(t);
    if (!with_date) return time;
    const std::string caption = clock_caption(t);
    return caption.substr(0, caption.find(' ') + 1) + time;
}

// How the sensor ended, and in its own words where it left any: a sensor
// that cannot open its interface or lacks the right to capture says why on
// its standard error, and the exit status alone tells the operator nothing.
Text end_text(const SensorEnd& end, const std::string& output_file, const std::string& said) {
    std::vector<std::string> args;
    if (end.how != SensorEnd::How::unknown) args.push_back(std::to_string(end.number));
    if (!said.empty()) {
        args.push_back(output_file);
        args.push_back(said);
    }
    switch (end.how) {
    case SensorEnd::How::exited:
        return {said.empty() ? TextId::sensor_exited : TextId::sensor_exited_saying, std::move(args)};
    case SensorEnd::How::signalled:
        return {said.empty() ? TextId::sensor_signalled : TextId::sensor_signalled_saying, std::move(args)};
    case SensorEnd::How::unknown:
        break;
    }
    return {said.empty() ? TextId::sensor_ended : TextId::sensor_ended_saying, std::move(args)};
}

SensorStatus status_of(SensorStatus::Kind kind) {
    SensorStatus status;
    status.kind = kind;
    return status;
}

// "09:12": the minute the tooltip gives for a start.
std::string minute_text(const LocalTime& t) { return padded_time_text(t).substr(0, 5); }

}  // namespace

Core::Core(Shell& shell, Platform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer,
           std::string settings_path)
    : shell_(shell),
      platform_(platform),
      sensor_(sensor),
      keeper_(keeper),
      metrics_writer_(metrics_writer),
      settings_path_(std::move(settings_path)) {
    metrics_.version = BREVALT_VERSION;
}

std::optional<StartupError> Core::start_up() {
    phase_ = Phase::failed;
    // Named in full in every error: the file is looked for in the current
    // directory, while everything else is looked for beside the program.
    auto settings = read_settings(platform_.absolute_path(settings_path_),
                                  [this](int error) { return platform_.error_text(error); });
    if (auto* error = std::get_if<SettingsError>(&settings)) return refuse_start(error->text);
    Settings& read = std::get<Settings>(settings);
    state_.rotation_time = std::move(read.rotation_time);
    keeping_ = read.keeping;
    metrics_path_ = std::move(read.metrics_path);
    log_folder_ = log_dir(platform_);
    if (!log_folder_.empty()) log_folder_.pop_back();
    // Only operators may hold the folder's claim: anyone else would keep
    // every operator's Brevalt from starting the sensor.
    if (const std::optional<Text> why = log_folder_.empty() ? std::nullopt : platform_.why_not_operator(log_folder_)) {
        if (!started_at_logon_) return refuse_start(*why);
        platform_.log_event(Priority::info, english(*why));
        return StartupError{english(*why), {}, true};
    }
    Text refusal;
    const FolderClaim claim = claim_log_folder(log_folder_, refusal);
    if (!claim.ours() && !Standby::waits_for(claim)) {
        return refuse_start(refusal);
    }
    phase_ = Phase::running;
    if (!claim.note.empty()) platform_.log_event(Priority::info, claim.note);
    const bool network_folder = claim.network_file_system;

    shell_.show_rotation_time(state_.rotation_time);
    const LocalTime started = platform_.now();
    shell_.show_clock(clock_caption(started));
    shell_.start_tick_timer(k_tick_interval_ms);
    state_.rotated_flag = 0;
    schedule_.start(state_.rotation_time, started);
    shell_.hide_icon_picture();
    shell_.prepare_icon();
    shell_.hide_window();
    window_ = WindowState::hidden;
    place_icon();
    for (const Text& warning : read.warnings) tell(Priority::warning, warning);
    tell_what_never_works();
    if (network_folder) tell(Priority::warning, {TextId::network_log_folder, {claimed_folder_}});
    if (!log_folder_.empty()) sensor_.keep_output_in(log_folder_ + platform_.path_separator() + k_sensor_output_name);
    if (Standby::waits_for(claim)) {
        wait_for(claim);
    } else if (claim.outcome == FolderClaim::Outcome::taken_over) {
        watch_taken_over(claim.pid, started);
    } else {
        start_sensor();
    }
    tell_started(claim.outcome == FolderClaim::Outcome::taken_over);
    keep_logs_in_background();
    return std::nullopt;
}

// What is accepted as it has always been, yet keeps the logs from ever
// being rotated, is told at once rather than at a minute that never comes.
void Core::tell_what_never_works() {
    if (!minute_of_day(state_.rotation_time)) {
        tell(Priority::warning, {TextId::rotation_time_never_matches, {state_.rotation_time}});
    }
    if (!log_folder_.empty() && !platform_.is_folder(log_folder_)) {
        tell(Priority::warning, {TextId::log_folder_missing, {log_folder_}});
    }
}

// One line for a good start, so that the system log shows which sensor
// serves which folder and when the logs move next.
void Core::tell_started(bool taken_over) {
    const std::optional<long> pid = sensor_.running_pid();
    if (!pid) return;
    const std::string next = minute_of_day(state_.rotation_time)
                                 ? state_.rotation_time
                                 : english({TextId::no_rotation, {state_.rotation_time}});
    tell(Priority::info, {taken_over ? TextId::started_taken_over : TextId::started,
                          {std::to_string(*pid), log_folder_, next}});
}

// The start-up error goes to the system log as well: a Brevalt started at
// logon that refuses to run leaves the network unwatched, and an
// administrator looks there first.
std::optional<StartupError> Core::refuse_start(const Text& text) {
    std::string message = english(text);
    platform_.log_event(Priority::err, message);
    return StartupError{std::move(message), shown(text)};
}

void Core::on_tick() {
    if (phase_ != Phase::running) return;
    if (standby_.waiting()) {
        const LocalTime now = platform_.now();
        shell_.show_clock(clock_caption(now));
        // The minute passes for this Brevalt too: the one it waited for
        // rotated, or nobody could. Serving later must not rotate at once.
        (void)schedule_.tick(state_.rotated_flag, now);
        serve_or_wait(now);
        return;
    }
    tell_keeping_news();
    notice_sensor_end();
    const bool ended = unrestarted_end_.has_value();
    // One reading serves the clock, the sensor's watch and the schedule, so
    // the window never shows a time other than the one they acted on.
    const LocalTime now = platform_.now();
    shell_.show_clock(clock_caption(now));
    const DailySchedule::Decision due = schedule_.tick(state_.rotated_flag, now);
    const bool rotating = due.kind != DailySchedule::Kind::none;
    if (!ended && sensor_.running_pid()) quick_ends_.seen_alive(wall_seconds(now));
    // A rotation due now starts a sensor anyway.
    if (ended) on_sensor_ended(now, rotating);
    if (due.kind == DailySchedule::Kind::caught_up) {
        const bool other_day = wall_day(due.previous_tick) != wall_day(now);
        tell(Priority::notice, {TextId::rotation_caught_up,
                                {state_.rotation_time, wall_clock_text(due.previous_tick, other_day),
                                 wall_clock_text(now, other_day)}});
    }
    if (rotating) {
        rotate_now();
    } else if (space_checked_day_ != wall_day(now)) {
        check_free_space(log_dir(platform_), now);
    }
    publish_metrics();
}

bool Core::refused_while_waiting() {
    if (!standby_.waiting()) return false;
    tell(Priority::notice, standby_.refusal());
    return true;
}

void Core::serve_or_wait(const LocalTime& now) {
    const FolderClaim claim = sensor_.claim_folder(claimed_folder_);
    if (!claim.ours()) {
        wait_for(claim);
        return;
    }
    if (const std::optional<Text> over = standby_.end(claimed_folder_)) tell(Priority::notice, *over);
    if (claim.outcome == FolderClaim::Outcome::taken_over) {
        watch_taken_over(claim.pid, now);
        return;
    }
    quick_ends_.forgive();
    launch_sensor(now);
}

// Its start is unknown: it counts as started now, so that one which ends at
// once is not taken for a sensor that ran for a long time.
void Core::watch_taken_over(long pid, const LocalTime& now) {
    quick_ends_.started(wall_seconds(now));
    show_running(now);
    tell(Priority::notice, {TextId::sensor_taken_over, {std::to_string(pid)}});
}

void Core::wait_for(const FolderClaim& claim) {
    if (const std::optional<Text> news = standby_.wait_for(claim, claimed_folder_)) tell(Priority::warning, *news);
    show_status(standby_.status());
}

void Core::start_sensor() {
    if (refused_while_waiting()) return;
    tell_sensor_ended_unseen();
    // A second sensor on the same logs would write every alert twice and
    // escape every later stop and rotation.
    if (const std::optional<long> pid = sensor_.running_pid()) {
        tell(Priority::notice, {TextId::sensor_already_runs, {std::to_string(*pid)}});
        return;
    }
    quick_ends_.forgive();
    launch_sensor(platform_.now());
}

void Core::stop_sensor() {
    if (refused_while_waiting()) return;
    tell_sensor_ended_unseen();
    sensor_.stop();
    show_status(status_of(SensorStatus::Kind::stopped));
}

void Core::rotate_now() {
    if (refused_while_waiting()) return;
    tell_sensor_ended_unseen();
    const RotationReport report = rotate_logs(platform_, sensor_);
    const LocalTime now = platform_.now();
    quick_ends_.forgive();
    quick_ends_.started(wall_seconds(now));
    ++metrics_.rotations;
    if (!report.alert_rename.ok() || !report.scan_rename.ok()) ++metrics_.rotation_failures;
    metrics_.last_rotation_unix_seconds = platform_.unix_time();
    if (report.start.ok()) ++metrics_.sensor_starts;
    tell_rotation(report);
    if (report.start.ok()) {
        show_running(now);
    } else if (report.start.outcome == SensorStart::Outcome::claim_lost) {
        wait_for(Standby::lost_claim());
    } else {
        show_status(status_of(SensorStatus::Kind::start_failed));
        tell_start_failure(report.start);
    }
    check_free_space(report.log_dir, now);
    std::vector<std::string> rotated;
    if (report.alert_rename.ok()) rotated.push_back(report.alert_dated_name);
    if (report.scan_rename.ok()) rotated.push_back(report.scan_dated_name);
    keep_logs_in_background(rotated);
}

void Core::keep_logs_in_background(const std::vector<std::string>& rotated) {
    // The folder is the serving Brevalt's to tidy: two passes at once would
    // compress the same log twice.
    if (standby_.waiting()) return;
    if ((keeping_.any() || !rotated.empty()) && !log_folder_.empty()) keeper_.tidy(log_folder_, keeping_, rotated);
}

void Core::tell_keeping_news() {
    for (const KeepReport& report : keeper_.take_reports()) {
        for (const KeepingNews::Line& line : keeping_news_.of(report, keeping_, platform_)) tell(line.priority, line.text);
    }
}

void Core::publish_metrics() {
    // The file is the serving Brevalt's: one that waits for another
    // operator's would overwrite its numbers with its own. Where nobody
    // serves (a sensor left running unwatched), the file goes stale, which
    // the shipped alerts report.
    if (metrics_path_.empty() || standby_.waiting()) return;
    metrics_.log_folder_free_bytes.reset();
    if (!log_folder_.empty()) {
        const FreeSpace space = platform_.free_space(log_folder_);
        if (space.result.ok()) metrics_.log_folder_free_bytes = space.available_bytes;
    }
    const SysResult written = metrics_writer_.write(metrics_path_, metrics_);
    if (written.ok() != metrics_unwritten_) return;
    metrics_unwritten_ = !written.ok();
    if (metrics_unwritten_) {
        tell(Priority::warning, {TextId::metrics_not_written, {metrics_path_, platform_.error_text(written.error)}});
    } else {
        tell(Priority::info, {TextId::metrics_written_again, {metrics_path_}});
    }
}

void Core::tell(Priority priority, const Text& text) {
    platform_.log_event(priority, english(text));
    if (priority != Priority::info) shell_.notify(shown(text));
}

std::string Core::shown(const Text& text) {
    const std::string form = shell_.text_form(text.id);
    return format(form.empty() ? english_form(text.id) : std::string_view(form), text.args);
}

void Core::show_status(SensorStatus status) {
    if (const std::optional<std::string> why = sensor_.take_record_failure()) {
        tell(Priority::warning, {TextId::record_unwritten, {claimed_folder_, *why}});
    }
    shell_.watch_sensor_end(sensor_.end_handle());
    metrics_.sensor_running = status.runs();
    metrics_.sensor_given_up = status.kind == SensorStatus::Kind::given_up;
    publish_metrics();
    if (!status_on_show_.changes_to(status)) return;
    shell_.show_sensor_state(status.runs(), shown(status_tooltip(status, state_.rotation_time)));
}

void Core::show_running(const LocalTime& since) { show_status({SensorStatus::Kind::running, minute_text(since), 0, {}}); }

void Core::on_sensor_end_seen() {
    if (phase_ == Phase::running) notice_sensor_end();
}

void Core::notice_sensor_end() {
    const std::optional<SensorEnd> ended = sensor_.reap();
    if (!ended) return;
    unrestarted_end_ = ended;
    const std::string output = sensor_.output_file();
    tell(Priority::warning, end_text(*ended, output, output.empty() ? std::string() : last_line_of(output)));
    show_status(status_of(SensorStatus::Kind::ended));
}

bool Core::launch_sensor(const LocalTime& now) {
    const SensorStart started = sensor_.start();
    quick_ends_.started(wall_seconds(now));
    if (started.ok()) {
        ++metrics_.sensor_starts;
        show_running(now);
        return true;
    }
    // Another Brevalt took the claim while a sensor taken over held it.
    if (started.outcome == SensorStart::Outcome::claim_lost) {
        wait_for(Standby::lost_claim());
        return false;
    }
    show_status(status_of(SensorStatus::Kind::start_failed));
    tell_start_failure(started);
    return false;
}

void Core::tell_start_failure(const SensorStart& start) {
    if (start.outcome == SensorStart::Outcome::not_found) {
        tell(Priority::err, {TextId::sensor_not_found, {}});
    } else {
        tell(Priority::err, {TextId::sensor_start_failed, {platform_.error_text(start.result.error)}});
    }
}

void Core::on_sensor_ended(const LocalTime& now, bool rotating) {
    unrestarted_end_.reset();
    if (rotating) return;
    if (!quick_ends_.may_start_again()) {
        show_status({SensorStatus::Kind::given_up, {}, QuickEnds::k_limit, {}});
        tell(Priority::err, {TextId::sensor_given_up, {std::to_string(QuickEnds::k_limit)}});
        return;
    }
    if (launch_sensor(now)) tell(Priority::notice, {TextId::sensor_started_again, {}});
}

// A sensor that ended since the last tick would otherwise be replaced by a
// start or forgotten by a stop without a word: the operator would never learn
// that the logs have a gap. What follows replaces or forgets it, so no tick
// starts it again.
void Core::tell_sensor_ended_unseen() {
    notice_sensor_end();
    unrestarted_end_.reset();
}

void Core::tell_rotation(const RotationReport& report) {
    if (report.alert_rename.ok() && report.scan_rename.ok()) {
        tell(Priority::info, {TextId::logs_rotated, {report.alert_dated_name, report.scan_dated_name}});
        return;
    }
    // Each log's "No such file or directory" would send the operator
    // looking for a missing log or wrong rights, not for the folder.
    if (!report.log_dir.empty() && !report.alert_rename.ok() && !report.scan_rename.ok()) {
        const std::string folder = report.log_dir.substr(0, report.log_dir.size() - 1);
        if (!platform_.is_folder(folder)) {
            tell(Priority::warning, {TextId::rotation_without_log_folder, {folder}});
            return;
        }
    }
    tell_rename(k_alert_log, report.alert_dated_name, report.alert_taken_by, report.alert_rename);
    tell_rename(k_scan_log, report.scan_dated_name, report.scan_taken_by, report.scan_rename);
}

void Core::tell_rename(const char* log_name, const std::string& dated_name, const std::string& taken_by,
                       const SysResult& result) {
    if (result.ok()) return;
    if (!taken_by.empty()) {
        tell(Priority::warning, {TextId::log_kept_name, {log_name, taken_by}});
    } else {
        tell(Priority::warning, {TextId::log_not_renamed, {log_name, dated_name, platform_.error_text(result.error)}});
    }
}

void Core::check_free_space(const std::string& folder, const LocalTime& now) {
    const std::int64_t today = wall_day(now);
    space_checked_day_ = today;
    if (folder.empty() || space_warned_day_ == today) return;
    const FreeSpace space = platform_.free_space(folder);
    if (!space.result.ok() || space.total_bytes == 0) return;
    const std::uint64_t percent = space.available_bytes * 100 / space.total_bytes;
    if (space.available_bytes >= k_low_space_bytes && percent >= k_low_space_percent) return;
    space_warned_day_ = today;
    tell(Priority::warning,
         {TextId::disk_nearly_full, {std::to_string(space.available_bytes >> 20), std::to_string(percent)}});
}

void Core::exit_program() {
    phase_ = Phase::ending;
    keeper_.stop();
    shell_.end_program();
}

void Core::end_session() {
    on_process_end();
    shell_.end_program();
}

void Core::on_process_end() {
    keeper_.stop();
    if (phase_ == Phase::running) end_sensor_with_session();
    phase_ = Phase::ending;
}

void Core::end_sensor_with_session() {
    sensor_.stop();
    // The sensor closes its logs on the stop request; one that has not gone
    // within the grace time is killed, so no sensor outlives the session.
    constexpr unsigned k_step_ms = 100;
    for (unsigned waited = 0; waited < k_session_end_grace_ms && !sensor_.stopped_gone(); waited += k_step_ms) {
        platform_.sleep_ms(k_step_ms);
    }
    sensor_.ensure_stopped_gone();
    // The file's last word, until it goes stale: no sensor runs.
    metrics_.sensor_running = false;
    publish_metrics();
}

void Core::on_icon_clicked() {
    if (phase_ != Phase::running) return;
    shell_.show_window();
    window_ = WindowState::opened_by_operator;
}

void Core::on_notification_area_appeared() {
    if (phase_ == Phase::running) place_icon();
}

FolderClaim Core::claim_log_folder(std::string folder, Text& refusal) {
    // The log folder is what two Brevalts must not share; where there is
    // none yet, the program folder it would be made in stands for it.
    FolderClaim claim = sensor_.claim_folder(folder);
    if (claim.outcome == FolderClaim::Outcome::missing) {
        folder = platform_.program_dir().path;
        claim = sensor_.claim_folder(folder);
    }
    claimed_folder_ = folder;
    switch (claim.outcome) {
    case FolderClaim::Outcome::claimed:
    case FolderClaim::Outcome::taken_over:
    case FolderClaim::Outcome::served_by_other_user:
    case FolderClaim::Outcome::left_by_other_user:
    case FolderClaim::Outcome::held_by_unknown:
        return claim;
    case FolderClaim::Outcome::held_elsewhere:
        refusal = !claim.holder ? Text{TextId::folder_held, {folder}}
                                : Text{TextId::folder_held_by, {folder, holder_text(*claim.holder)}};
        return claim;
    case FolderClaim::Outcome::missing:
    case FolderClaim::Outcome::failed:
        break;
    }
    refusal = claim.failure.empty() ? Text{TextId::folder_missing, {folder}}
                                    : Text{TextId::folder_unsure, {folder, claim.failure}};
    claim.outcome = FolderClaim::Outcome::failed;
    return claim;
}

void Core::place_icon() {
    if (shell_.register_icon()) {
        if (window_ == WindowState::shown_for_missing_icon) {
            shell_.hide_window();
            window_ = WindowState::hidden;
        }
        return;
    }
    // Without an icon there would be no way back to a hidden window.
    if (window_ == WindowState::hidden) {
        shell_.show_window();
        window_ = WindowState::shown_for_missing_icon;
    }
}

}  // namespace brevalt
