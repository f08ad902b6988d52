#include "app/service_view.h"

#include <utility>

#include "app/quick_ends.h"
#include "rotation/clock_text.h"

namespace brevalt {

SensorStatus status_of(const ControlState& state) {
    SensorStatus status;
    switch (state.sensor) {
    case SensorState::running:
        status.kind = SensorStatus::Kind::running;
        // "2026-12-08 03:30:00": the tooltip gives the minute.
        status.since = state.since.size() >= 16 ? state.since.substr(11, 5) : state.since;
        status.pid = state.pid;
        status.since_stamp = state.since;
        break;
    case SensorState::stopped:
        status.kind = SensorStatus::Kind::stopped;
        break;
    case SensorState::ended:
        status.kind = SensorStatus::Kind::ended;
        break;
    case SensorState::start_failed:
        status.kind = SensorStatus::Kind::start_failed;
        break;
    case SensorState::given_up:
        status.kind = SensorStatus::Kind::given_up;
        status.quick_ends = QuickEnds::k_limit;
        break;
    case SensorState::waiting:
        status.kind = state.served_by.empty() ? SensorStatus::Kind::held_by_unknown
                                              : SensorStatus::Kind::served_elsewhere;
        status.holder = state.served_by;
        break;
    case SensorState::session_ended:
    case SensorState::exited:
        // The service is ending: nobody watches until it is back.
        status.kind = SensorStatus::Kind::service_silent;
        break;
    }
    return status;
}

ServiceView::ServiceView(Shell& shell, Platform& platform, ControlLink& link, std::string settings_path)
    : shell_(shell),
      platform_(platform),
      link_(link),
      settings_path_(std::move(settings_path)),
      telling_(shell, platform, no_metrics_),
      window_(shell) {}

std::optional<StartupError> ServiceView::start_up() {
    telling_.log_only(Priority::info, english({TextId::view_started, {}}));
    shell_.explain_rotation_time(telling_.shown({TextId::time_box_tip, {platform_.absolute_path(settings_path_)}}));
    shell_.show_clock(clock_caption(platform_.now()));
    shell_.start_tick_timer(k_tick_interval_ms);
    window_.appear();
    follow();
    return std::nullopt;
}

void ServiceView::on_tick() {
    shell_.show_clock(clock_caption(platform_.now()));
    if (!following_) follow();
}

void ServiceView::follow() {
    if (!link_.subscribe()) {
        show_silence();
        return;
    }
    following_ = true;
    shell_.watch_channel(link_.handle());
    if (std::exchange(silence_told_, false)) telling_.tell(Priority::notice, {TextId::service_answers, {}});
    // The subscription's first state is on its way; it may be here already.
    on_channel_ready();
}

void ServiceView::on_channel_ready() {
    if (!following_) return;
    const ControlLink::Arrived arrived = link_.take();
    for (const ControlState& state : arrived.states) show(state);
    if (!arrived.lost) return;
    following_ = false;
    shell_.watch_channel(std::nullopt);
    // A restart answers again within moments; a stop is told now.
    follow();
}

void ServiceView::show(const ControlState& state) {
    if (state.rotation_time != rotation_time_) {
        rotation_time_ = state.rotation_time;
        shell_.show_rotation_time(rotation_time_);
        telling_.set_rotation_time(rotation_time_);
    }
    // Tomorrow's where the next rotation is not today's.
    const std::string today = stamp_text(platform_.now()).substr(0, 10);
    telling_.rotation_done_today(!state.next_rotation.empty() && state.next_rotation.substr(0, 10) != today);
    telling_.show_status(status_of(state), std::nullopt);
}

void ServiceView::show_silence() {
    SensorStatus silent;
    silent.kind = SensorStatus::Kind::service_silent;
    telling_.show_status(silent, std::nullopt);
    if (std::exchange(silence_told_, true)) return;
    telling_.tell(Priority::warning, {TextId::service_silent, {link_.why()}});
}

void ServiceView::act(ControlRequest request) {
    const ControlAnswer answer = link_.act(request);
    switch (answer.kind) {
    case ControlAnswer::Kind::answered:
        // Done shows on the icon as the service pushes its state.
        if (answer.outcome.result != ControlOutcome::Result::done) {
            telling_.tell(Priority::warning, {TextId::service_said, {answer.outcome.message}});
        }
        break;
    case ControlAnswer::Kind::denied:
        telling_.tell(Priority::warning, {TextId::service_said, {answer.reason}});
        break;
    case ControlAnswer::Kind::unreachable:
        telling_.tell(Priority::warning, {TextId::service_silent, {answer.reason}});
        break;
    }
}

void ServiceView::start_sensor(const std::optional<ControlPeer>& by) {
    (void)by;
    act(ControlRequest::start);
}

void ServiceView::stop_sensor(const std::optional<ControlPeer>& by) {
    (void)by;
    act(ControlRequest::stop);
}

void ServiceView::rotate_now(const std::optional<ControlPeer>& by) {
    (void)by;
    act(ControlRequest::rotate);
}

void ServiceView::exit_program() { shell_.end_program(); }

void ServiceView::on_icon_clicked() { window_.icon_clicked(); }

void ServiceView::on_notification_area_appeared() { window_.place_icon(); }

void ServiceView::end_session(const std::optional<SignalSender>& by) {
    (void)by;
    shell_.end_program();
}

void ServiceView::reload_settings(const std::optional<SignalSender>& by) {
    (void)by;
    telling_.log_only(Priority::notice,
                      "This Brevalt shows the machine's service and reads no settings: systemctl reload brevalt");
}

}  // namespace brevalt
