#pragma once

#include "app/core.h"
#include "control/control_state.h"

// The control channel's desk: each request an operator sends is done by the
// core as the window's button would do it, and answered with what became of
// it, judged from the state before and after.
namespace brevalt {

class CoreDesk final : public ControlDesk {
public:
    explicit CoreDesk(Core& core) : core_(core) {}

    ControlState state() override { return core_.control_state(); }
    ControlOutcome act(ControlRequest request, const ControlPeer& peer) override;

private:
    Core& core_;
};

}  // namespace brevalt
