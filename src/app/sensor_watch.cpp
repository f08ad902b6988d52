#include "app/sensor_watch.h"

#include <utility>
#include <vector>

#include "app/sensor_output.h"
#include "rotation/clock_text.h"
#include "rotation/schedule.h"
#include "sensor/grace.h"

namespace brevalt {

namespace {

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

// "09:12": the minute the tooltip gives for a start.
std::string minute_text(const LocalTime& t) { return padded_time_text(t).substr(0, 5); }

}  // namespace

SensorWatch::SensorWatch(Sensor& sensor, Platform& platform, Telling& telling)
    : sensor_(sensor), platform_(platform), telling_(telling) {}

SensorStart SensorWatch::launch(const LocalTime& now) {
    const SensorStart started = sensor_.start();
    sensor_missing_ = started.outcome == SensorStart::Outcome::not_found;
    if (sensor_missing_) missing_name_ = started.executable;
    quick_ends_.started(wall_seconds(now));
    if (started.ok()) telling_.sensor_started();
    show_start(started, now);
    return started;
}

void SensorWatch::show_start(const SensorStart& started, const LocalTime& now) {
    if (started.ok()) {
        show_running(now);
    } else if (started.outcome != SensorStart::Outcome::claim_lost) {
        show(SensorStatus::Kind::start_failed);
        tell_start_failure(started);
    }
}

SensorStart SensorWatch::start_by_operator(const LocalTime& now) {
    forget_end_unseen();
    // A second sensor on the same logs would write every alert twice and
    // escape every later stop and rotation.
    if (const std::optional<long> pid = sensor_.running_pid()) {
        telling_.tell(Priority::notice, {TextId::sensor_already_runs, {std::to_string(*pid)}});
        return SensorStart::done();
    }
    return start_serving(now);
}

SensorStart SensorWatch::start_serving(const LocalTime& now) {
    quick_ends_.forgive();
    return launch(now);
}

void SensorWatch::stop_by_operator() {
    forget_end_unseen();
    sensor_missing_ = false;
    sensor_.stop();
    show(SensorStatus::Kind::stopped);
}

void SensorWatch::watch_taken_over(long pid, const LocalTime& now) {
    quick_ends_.started(wall_seconds(now));
    show_running(now);
    telling_.tell(Priority::notice, {TextId::sensor_taken_over, {std::to_string(pid)}});
}

void SensorWatch::notice_end() {
    const std::optional<SensorEnd> ended = sensor_.reap();
    if (!ended) return;
    unrestarted_end_ = ended;
    telling_.sensor_ended();
    const std::string output = sensor_.output_file();
    telling_.tell(Priority::warning, end_text(*ended, output, output.empty() ? std::string() : last_line_of(output)));
    show(SensorStatus::Kind::ended);
}

void SensorWatch::forget_end_unseen() {
    notice_end();
    unrestarted_end_.reset();
}

std::optional<SensorStart> SensorWatch::on_tick(const LocalTime& now, bool rotating) {
    if (sensor_missing_ && !rotating && !sensor_.running_pid()) return look_for_missing(now);
    const bool ended = unrestarted_end_.has_value();
    if (!ended && sensor_.running_pid()) quick_ends_.seen_alive(wall_seconds(now));
    if (!ended) return std::nullopt;
    unrestarted_end_.reset();
    if (rotating) return std::nullopt;
    if (!quick_ends_.may_start_again()) {
        SensorStatus given_up;
        given_up.kind = SensorStatus::Kind::given_up;
        given_up.quick_ends = QuickEnds::k_limit;
        telling_.show_status(given_up, sensor_.end_handle());
        telling_.tell(Priority::err, {TextId::sensor_given_up, {std::to_string(QuickEnds::k_limit)}});
        return std::nullopt;
    }
    const SensorStart started = launch(now);
    if (started.ok()) telling_.tell(Priority::notice, {TextId::sensor_started_again, {}});
    return started;
}

// A sensor put in place after Brevalt looked for it starts at the next
// check; until then nothing more is told than the first time.
SensorStart SensorWatch::look_for_missing(const LocalTime& now) {
    const SensorStart started = sensor_.start();
    if (started.outcome == SensorStart::Outcome::not_found) return started;
    sensor_missing_ = false;
    quick_ends_.started(wall_seconds(now));
    if (started.ok()) {
        telling_.sensor_started();
        telling_.tell(Priority::notice, {TextId::sensor_found, {missing_name_}});
    }
    show_start(started, now);
    return started;
}

void SensorWatch::rotated(const SensorStart& start, const LocalTime& now) {
    quick_ends_.forgive();
    quick_ends_.started(wall_seconds(now));
    if (start.ok()) telling_.sensor_started();
}

void SensorWatch::end_with_session() {
    sensor_.stop();
    // The sensor closes its logs on the stop request; one that has not gone
    // within the grace time is killed, so no sensor outlives the session.
    end_stopped_within_grace(sensor_, 100, [this](unsigned step_ms) { platform_.sleep_ms(step_ms); });
    // The file's last word, until the heartbeat stops: no sensor runs, by
    // the session's choice.
    telling_.session_ended();
}

void SensorWatch::tell_started(bool taken_over, const std::string& log_folder, const std::string& rotation_time) {
    const std::optional<long> pid = sensor_.running_pid();
    if (!pid) return;
    const std::string next =
        minute_of_day(rotation_time) ? rotation_time : english({TextId::no_rotation, {rotation_time}});
    telling_.tell(Priority::info,
                  {taken_over ? TextId::started_taken_over : TextId::started, {std::to_string(*pid), log_folder, next}});
}

void SensorWatch::show_running(const LocalTime& since) {
    tell_record_failure();
    SensorStatus running;
    running.kind = SensorStatus::Kind::running;
    running.since = minute_text(since);
    running.pid = sensor_.running_pid();
    running.since_stamp = stamp_text(since);
    telling_.show_status(running, sensor_.end_handle());
}

void SensorWatch::show(SensorStatus::Kind kind) {
    tell_record_failure();
    SensorStatus status;
    status.kind = kind;
    telling_.show_status(status, sensor_.end_handle());
}

void SensorWatch::tell_record_failure() {
    if (const std::optional<std::string> why = sensor_.take_record_failure()) {
        telling_.tell(Priority::warning, {TextId::record_unwritten, {claimed_folder_, *why}});
    }
}

void SensorWatch::tell_start_failure(const SensorStart& start) {
    if (start.outcome == SensorStart::Outcome::not_found && !start.searched.empty()) {
        telling_.tell(Priority::err, {TextId::sensor_not_found_in, {start.executable, start.searched}});
    } else if (start.outcome == SensorStart::Outcome::not_found) {
        telling_.tell(Priority::err, {TextId::sensor_not_found, {}});
    } else {
        telling_.tell(Priority::err, {TextId::sensor_start_failed, {platform_.error_text(start.result.error)}});
    }
}

}  // namespace brevalt
