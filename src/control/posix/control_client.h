#pragma once

#include <string>
#include <vector>

#include "control/control_state.h"

// `brevalt status|start|stop|rotate`: one request to the Brevalt that owns
// the sensor, answered with systemctl's habits of exit status.
namespace brevalt {

// status
inline constexpr int k_status_running = 0;
inline constexpr int k_status_not_running = 3;
inline constexpr int k_status_unknown = 4;
// start, stop, rotate
inline constexpr int k_action_done = 0;
inline constexpr int k_action_not_done = 1;  // refused or failed
inline constexpr int k_not_permitted = 4;
inline constexpr int k_no_brevalt = 7;

// A rotation takes about ten seconds; a client never waits forever.
inline constexpr int k_client_timeout_ms = 30000;

struct ClientAnswer {
    int status = k_status_unknown;
    std::string out;  // for standard output
    std::string err;  // for standard error
};

// Asks the first Brevalt that answers among `sockets` (see socket_places.h):
// one that is missing or refuses the connection (a socket left behind) is
// skipped; one that does not let this user in is the answer.
ClientAnswer ask_brevalt(ControlRequest request, const std::vector<std::string>& sockets,
                         int timeout_ms = k_client_timeout_ms);

// The state in a few lines for an operator.
std::string state_lines(const ControlState& state);

}  // namespace brevalt
