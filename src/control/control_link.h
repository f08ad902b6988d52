#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/control_state.h"

// A client's side of the control channel, as a view of the machine's
// service holds it: one connection subscribed to every change, and a
// request at a time on a connection of its own.
namespace brevalt {

struct ControlAnswer {
    enum class Kind {
        answered,    // the outcome is the server's
        denied,      // the server, or the socket's permissions, refused this user
        unreachable  // nobody answers
    };
    Kind kind = Kind::unreachable;
    ControlOutcome outcome;
    std::string reason;  // denied, unreachable: why, in English
};

class ControlLink {
public:
    virtual ~ControlLink() = default;

    // Connects and subscribes; false, with why(), where nobody answers or
    // the server refused.
    virtual bool subscribe() = 0;
    // What to watch for readable while subscribed.
    [[nodiscard]] virtual std::optional<std::intptr_t> handle() const = 0;
    struct Arrived {
        std::vector<ControlState> states;  // in order
        bool lost = false;                 // the connection closed, or said nothing this protocol knows
    };
    // What arrived since the last call, without waiting.
    virtual Arrived take() = 0;
    [[nodiscard]] virtual std::string why() const = 0;
    // Sends one action and waits for its answer.
    virtual ControlAnswer act(ControlRequest request) = 0;
};

}  // namespace brevalt
