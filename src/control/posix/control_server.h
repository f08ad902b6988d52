#pragma once

#include <memory>
#include <string>

#include "control/control_state.h"
#include "platform/result.h"

// The control channel's server on a Unix socket: operators' clients ask
// for the state, start, stop, rotate, or subscribe to every change. Driven
// by the program's own event loop through one descriptor; never blocks.
namespace brevalt {

// Who may talk to the server, checked by the peer's credentials on every
// connection, whatever the socket's permissions say.
struct ControlAccess {
    long owner_uid = -1;     // the server's own user: always allowed, as is root
    long group_gid = -1;     // members of this group (any of the peer's groups) too; -1: nobody else
    std::string refusal;     // English, told to anyone else before the connection closes
};

class ControlServer : public ControlListener {
public:
    // Listens at `path` (an old socket there is replaced), the socket's file
    // given `mode` (e.g. 0660); `desk` answers the requests.
    static std::unique_ptr<ControlServer> listen(const std::string& path, unsigned mode, ControlAccess access,
                                                 ControlDesk& desk, SysResult& result);
    virtual ~ControlServer() = default;

    // Polls readable when serve() has work: one descriptor for the whole
    // channel (listening socket and every connection), for the event loop.
    [[nodiscard]] virtual int descriptor() const = 0;
    // Accepts, reads, answers and writes what is ready, without blocking.
    virtual void serve() = 0;
    // The state changed: every subscriber hears of it. Same state twice is
    // told once.
    void publish(const ControlState& state) override = 0;
    // Closes connections idle without a whole request for too long; called
    // at each tick.
    virtual void on_tick() = 0;
};

}  // namespace brevalt
