#pragma once

#include <optional>
#include <string>

#include "app/sensor_status.h"
#include "app/telling.h"
#include "control/control_state.h"
#include "platform/platform.h"

// The sensor's state as the control channel tells it: what the icon's
// tooltip and the metrics file say, in words and numbers a script reads.
// Kept up to date by the telling at each change, and passed on to whoever
// listens (the channel's subscribers) only when it changed.
namespace brevalt {

class StateReport final : public TellingFollower {
public:
    StateReport(std::string mode, std::string user);

    void follow_with(ControlListener* listener);
    [[nodiscard]] const ControlState& state() const { return state_; }

    void sensor(const SensorStatus& status, SensorState state) override;
    void ended(SensorState state) override;
    void rotation_time(const std::string& rotation_time, const LocalTime& now, bool tomorrow) override;
    void rotated(const LocalTime& at) override;
    void failure(const std::string& english_text, const LocalTime& at) override;

private:
    void tell_listener();

    ControlState state_;
    ControlListener* listener_ = nullptr;
};

// When the rotation at `rotation_time` comes next: "2026-12-09 03:30", or
// empty where the time is no minute of any day.
std::string next_rotation_text(const std::string& rotation_time, const LocalTime& now, bool tomorrow);

}  // namespace brevalt
