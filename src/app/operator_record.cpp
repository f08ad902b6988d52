#include "app/operator_record.h"

namespace brevalt {

OperatorRecord::OperatorRecord(Platform& platform, Telling& telling, Sensor& sensor)
    : platform_(platform), telling_(telling), sensor_(sensor) {}

std::string OperatorRecord::sensor_words(bool waiting, bool leaving) const {
    if (waiting) return "refused: another operator's Brevalt or sensor holds the log folder";
    const std::optional<long> pid = sensor_.running_pid();
    if (!pid) return "no sensor runs";
    const std::string process = "process " + std::to_string(*pid);
    if (leaving) return "Brevalt ends; the sensor (" + process + ") runs on, unwatched";
    return "the sensor runs (" + process + ")";
}

void OperatorRecord::chose_in_window(std::string_view choice, bool waiting, bool leaving) {
    const Text text{TextId::action_in_window,
                    {platform_.user_name(), std::string(choice), sensor_words(waiting, leaving)}};
    telling_.log_only(Priority::notice, english(text));
}

void OperatorRecord::chose(std::string_view choice, std::string_view request, bool waiting,
                           const std::optional<ControlPeer>& by) {
    if (!by) {
        chose_in_window(choice, waiting);
        return;
    }
    const Text text{TextId::action_over_channel, {std::string(request), by->user, std::to_string(by->uid),
                                                  std::to_string(by->pid), sensor_words(waiting, false)}};
    telling_.log_only(Priority::notice, english(text));
}

void OperatorRecord::signalled(const SignalSender& sender, std::string_view what) {
    const std::string user = sender.user.empty() ? "unknown" : sender.user;
    const Text text{TextId::action_signal,
                    {sender.signal, std::to_string(sender.pid), user,
                     std::string(what) + "; " + sensor_words(false, false)}};
    telling_.log_only(Priority::notice, english(text));
}

void OperatorRecord::session_ended() {
    const Text text{TextId::action_session_end, {platform_.user_name(), "the sensor was stopped; " +
                                                                            sensor_words(false, false)}};
    telling_.log_only(Priority::notice, english(text));
}

}  // namespace brevalt
