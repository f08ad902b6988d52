#pragma once

#include <optional>

#include "app/operator_record.h"
#include "app/startup_error.h"
#include "control/control_state.h"

// What a shell forwards its events to: the core that owns a sensor, or the
// view of the machine's service that acts through its control channel.
// The shell draws what it is told and reports clicks either way.
namespace brevalt {

// Every 30 seconds: the clock, and the checks of each conductor.
inline constexpr unsigned k_tick_interval_ms = 30000;

class Conductor {
public:
    virtual ~Conductor() = default;

    virtual std::optional<StartupError> start_up() = 0;
    virtual void on_tick() = 0;
    // The window's buttons; `by` where asked for over the control channel.
    virtual void start_sensor(const std::optional<ControlPeer>& by) = 0;
    virtual void stop_sensor(const std::optional<ControlPeer>& by) = 0;
    virtual void rotate_now(const std::optional<ControlPeer>& by) = 0;
    virtual void exit_program() = 0;
    virtual void on_icon_clicked() = 0;
    virtual void on_notification_area_appeared() = 0;
    virtual void on_sensor_end_seen() = 0;
    // The handle given to Shell::watch_channel is ready.
    virtual void on_channel_ready() {}
    virtual void end_session(const std::optional<SignalSender>& by) = 0;
    virtual void reload_settings(const std::optional<SignalSender>& by) = 0;
    virtual void on_process_end(const std::optional<SignalSender>& by) = 0;
    virtual void set_started_at_logon(bool at_logon) = 0;
};

}  // namespace brevalt
