#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "texts/texts.h"

// What the icon says about the sensor: whether one runs, and since when or
// why not. A notification vanishes; this stays until the state changes.
namespace brevalt {

struct SensorStatus {
    enum class Kind {
        running,       // started or taken over by Brevalt
        stopped,       // by the operator's "停止"
        given_up,      // after too many quick ends in a row
        start_failed,  // the last start did not succeed
        ended,         // ended by itself; the next tick starts it again
        // None of ours: another user's Brevalt serves the folder, or the
        // sensor another user's Brevalt left runs there unwatched.
        served_elsewhere,
        unwatched_elsewhere,
        // None of ours: a process Brevalt cannot name holds the folder.
        held_by_unknown,
        // A view of the machine's service that does not answer: unknown.
        service_silent
    };
    Kind kind = Kind::stopped;
    std::string since;  // running: "HH:MM" of its start or take-over
    int quick_ends = 0;  // given_up: how many ends in a row
    std::string holder;  // served_elsewhere, unwatched_elsewhere: "alice, process 4711"
    bool rotation_tomorrow = false;  // the next rotation is tomorrow's
    // running: for the control channel, which gives them in full.
    std::optional<long> pid;
    std::string since_stamp;  // "2026-12-08 03:30:00"

    [[nodiscard]] bool runs() const { return kind == Kind::running; }
    bool operator==(const SensorStatus&) const = default;
};

// The tooltip: the program's name, the sensor's state, the next rotation.
Text status_tooltip(const SensorStatus& status, std::string_view rotation_time);

// Remembers what the icon shows, so that it is redrawn only when the state
// changes: an icon set again for nothing may flicker, and on some panels
// re-sends the whole item.
class StatusOnShow {
public:
    // True when `status` differs from what is shown; it counts as shown then.
    bool changes_to(const SensorStatus& status) {
        if (shown_ == status) return false;
        shown_ = status;
        return true;
    }

private:
    std::optional<SensorStatus> shown_;
};

}  // namespace brevalt
