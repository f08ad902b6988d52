#pragma once

#include "app/core.h"
#include "app/state_report.h"
#include "control/control_state.h"

// The control channel's desk: each request an operator sends is done by the
// core as the window's button would do it, and answered with what became of
// it, judged from the state before and after.
namespace brevalt {

class CoreDesk final : public ControlDesk {
public:
    // Made before the core starts up, so that the report hears all it tells.
    // `mode`: "service" or "session"; `user`: whose Brevalt this is.
    CoreDesk(Core& core, std::string mode, std::string user);
    ~CoreDesk() override { core_.report_to(nullptr); }
    CoreDesk(const CoreDesk&) = delete;
    CoreDesk& operator=(const CoreDesk&) = delete;

    ControlState state() override { return report_.state(); }
    ControlOutcome act(ControlRequest request, const ControlPeer& peer) override;
    // The channel's subscribers hear of each change of the state.
    void follow_with(ControlListener* listener) { report_.follow_with(listener); }

private:
    Core& core_;
    StateReport report_;
};

}  // namespace brevalt
