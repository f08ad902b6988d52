#pragma once

#include <optional>
#include <string>

#include "app/conductor.h"
#include "app/settings.h"
#include "app/telling.h"
#include "app/window_presence.h"
#include "control/control_link.h"
#include "platform/platform.h"

// An operator's Brevalt where the machine's service owns the sensor: it
// never starts a sensor of its own. The icon, its tooltip and the window
// follow the service's state as the control channel pushes it; the buttons
// act through the channel, for every operator; "終了" ends the view only.
// When the service stops answering the icon says so at once, and the view
// follows it again once it answers.
namespace brevalt {

class ServiceView final : public Conductor {
public:
    ServiceView(Shell& shell, Platform& platform, ControlLink& link,
                std::string settings_path = k_settings_file_name);

    std::optional<StartupError> start_up() override;
    void on_tick() override;
    void start_sensor(const std::optional<ControlPeer>& by) override;
    void stop_sensor(const std::optional<ControlPeer>& by) override;
    void rotate_now(const std::optional<ControlPeer>& by) override;
    void exit_program() override;
    void on_icon_clicked() override;
    void on_notification_area_appeared() override;
    void on_sensor_end_seen() override {}
    void on_channel_ready() override;
    void end_session(const std::optional<SignalSender>& by) override;
    // The service reads its own settings: `systemctl reload brevalt`.
    void reload_settings(const std::optional<SignalSender>& by) override;
    void on_process_end(const std::optional<SignalSender>& by) override { (void)by; }
    void set_started_at_logon(bool at_logon) override { (void)at_logon; }

private:
    // Subscribes where not subscribed; tells a silence once, and its end.
    void follow();
    void show(const ControlState& state);
    void show_silence();
    void act(ControlRequest request);

    Shell& shell_;
    Platform& platform_;
    ControlLink& link_;
    std::string settings_path_;
    // A view writes no metrics file: the service's is the machine's.
    class NoMetricsFile final : public MetricsWriter {
    public:
        SysResult write(const std::string&, const MetricsSnapshot&) override { return SysResult::success(); }
    } no_metrics_;
    Telling telling_;
    WindowPresence window_;
    std::string rotation_time_;
    bool following_ = false;
    bool silence_told_ = false;
};

// The sensor's status as the icon shows it, from the state the service told.
SensorStatus status_of(const ControlState& state);

}  // namespace brevalt
