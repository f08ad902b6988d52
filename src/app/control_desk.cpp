#include "app/control_desk.h"

#include <string>
#include <utility>

namespace brevalt {

CoreDesk::CoreDesk(Core& core, std::string mode, std::string user)
    : core_(core), report_(std::move(mode), std::move(user)) {
    core_.report_to(&report_);
}

namespace {

std::string process_words(const ControlState& state) {
    return state.pid ? " (process " + std::to_string(*state.pid) + ")" : std::string();
}

ControlOutcome refused(std::string message) { return {ControlOutcome::Result::refused, std::move(message)}; }
ControlOutcome done(std::string message) { return {ControlOutcome::Result::done, std::move(message)}; }

// What went wrong, as the core told it during the request.
ControlOutcome failed(const ControlState& before, const ControlState& after, const std::string& otherwise) {
    const bool told = after.last_failure_at != before.last_failure_at || after.last_failure != before.last_failure;
    return {ControlOutcome::Result::failed, told ? after.last_failure : otherwise};
}

}  // namespace

ControlOutcome CoreDesk::act(ControlRequest request, const ControlPeer& peer) {
    const ControlState before = report_.state();
    const std::uint64_t failures_before = core_.rotation_failures();
    switch (request) {
    case ControlRequest::start:
        core_.start_sensor(peer);
        break;
    case ControlRequest::stop:
        core_.stop_sensor(peer);
        break;
    case ControlRequest::rotate:
        core_.rotate_now(peer);
        break;
    case ControlRequest::status:
    case ControlRequest::subscribe:
        return {};
    }
    const ControlState& after = report_.state();
    // The core refused and put it on record: another Brevalt serves the folder.
    if (before.sensor == SensorState::waiting && after.sensor == SensorState::waiting) {
        return refused("the log folder is served by another Brevalt" +
                       (after.served_by.empty() ? std::string() : ": " + after.served_by));
    }
    switch (request) {
    case ControlRequest::start:
        if (before.runs()) return refused("the sensor runs already" + process_words(before));
        if (after.runs()) return done("sensor started" + process_words(after));
        return failed(before, after, "the sensor did not start");
    case ControlRequest::stop:
        if (!before.runs()) return refused("no sensor runs");
        if (after.runs()) return failed(before, after, "the sensor still runs" + process_words(after));
        return done("sensor stopped");
    case ControlRequest::rotate:
        if (core_.rotation_failures() != failures_before) return failed(before, after, "a log kept its name");
        if (!after.runs()) return failed(before, after, "logs rotated, but the sensor does not run again");
        return done("logs rotated; sensor running again" + process_words(after));
    case ControlRequest::status:
    case ControlRequest::subscribe:
        break;
    }
    return {};
}

}  // namespace brevalt
