#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/telling.h"
#include "control/control_state.h"
#include "platform/platform.h"
#include "sensor/sensor.h"

// Every operator action on record: "who stopped the sensor, and when" is the
// first question asked of an intrusion-detection machine. Each choice in the
// window, each signal that ends Brevalt or has it read its settings again,
// and the session's end go to the system log (notice), with the user and
// what became of the sensor; they interrupt nobody.
namespace brevalt {

// Who sent a signal, as the system tells it.
struct SignalSender {
    std::string signal;  // "SIGHUP"
    long pid = 0;
    std::string user;
};

class OperatorRecord {
public:
    OperatorRecord(Platform& platform, Telling& telling, Sensor& sensor);

    // After a choice in the window ("Snort実行", "停止", "再起動", "終了").
    // `waiting`: another operator's Brevalt or sensor holds the folder, so
    // the choice was refused. `leaving`: Brevalt ends and the sensor runs on.
    void chose_in_window(std::string_view choice, bool waiting, bool leaving = false);
    // The same choice, made in the window or asked for over the control
    // channel by `by` (then named `request`: "start", "stop", "rotate").
    void chose(std::string_view choice, std::string_view request, bool waiting, const std::optional<ControlPeer>& by);
    // After a signal was answered: `what` says what Brevalt did.
    void signalled(const SignalSender& sender, std::string_view what);
    // After the desktop session's end stopped the sensor.
    void session_ended();

private:
    [[nodiscard]] std::string sensor_words(bool waiting, bool leaving) const;

    Platform& platform_;
    Telling& telling_;
    Sensor& sensor_;
};

}  // namespace brevalt
