#pragma once

#include <optional>
#include <string>

#include "metrics/metrics.h"

// What an operator's client is told of the sensor over the control channel:
// the same facts as the icon's tooltip and the metrics file, as words and
// numbers a script can read. The core fills it; the channel only carries it.
namespace brevalt {

struct ControlState {
    SensorState sensor = SensorState::stopped;  // named as in the metrics file
    std::optional<long> pid;                    // while one runs
    std::string since;                          // running: "2026-12-08 03:30:00", local time
    std::string rotation_time;                  // as configured: "03:30"
    std::string next_rotation;                  // "2026-12-09 03:30", empty: never due
    std::string last_rotation;                  // this Brevalt's last, empty: none yet
    std::string last_failure;                   // the last failure told, in English; empty: none
    std::string last_failure_at;                // when it was told
    std::string served_by;                      // waiting: "alice, process 4711"
    std::string mode;                           // "service" or "session"
    std::string user;                           // whose Brevalt answers

    [[nodiscard]] bool runs() const { return sensor == SensorState::running; }
    bool operator==(const ControlState&) const = default;
};

// A request an operator may make.
enum class ControlRequest { status, start, stop, rotate, subscribe };

// Who asked, as the kernel told the server: never what the client said.
struct ControlPeer {
    long uid = -1;
    long pid = -1;
    std::string user;  // the account's name, or the number where it has none
};

// What became of an action.
struct ControlOutcome {
    enum class Result { done, refused, failed };
    Result result = Result::done;
    std::string message;  // English: what was done, or why not
};

// Hears of every change of the state: the channel's subscribers.
class ControlListener {
public:
    virtual ~ControlListener() = default;
    virtual void publish(const ControlState& state) = 0;
};

// The side of the channel that decides: the core's desk for requests.
class ControlDesk {
public:
    virtual ~ControlDesk() = default;
    [[nodiscard]] virtual ControlState state() = 0;
    // start, stop or rotate, on record with who asked.
    virtual ControlOutcome act(ControlRequest request, const ControlPeer& peer) = 0;
};

}  // namespace brevalt
