#pragma once

#include <optional>
#include <string>

#include "app/sensor_status.h"
#include "sensor/sensor.h"
#include "texts/texts.h"

// A Brevalt that finds its log folder served by another operator (their
// Brevalt, or the sensor their Brevalt left running) waits in the
// notification area instead of ending: once that one ends, it serves the
// folder itself, so that the logs are never left without a sensor while an
// operator is logged on. Meanwhile it starts, stops and rotates nothing:
// two sensors on one folder would write every alert twice. A holder it
// cannot name (nothing believable in the folder's record) is waited for
// the same way, never refused: only a live Brevalt of the same user is a
// reason to end.
namespace brevalt {

class Standby {
public:
    // True for the claims that mean waiting for another operator rather
    // than serving the folder or refusing to start.
    static bool waits_for(const FolderClaim& claim);

    // What a Brevalt that lost the claim it held waits for: a holder it
    // cannot name yet. The next check names it where it can. Every lost
    // claim goes this way, whatever a new attempt would find.
    static FolderClaim lost_claim() { return FolderClaim::of(FolderClaim::Outcome::held_by_unknown); }

    // Waits for what `claim` names. Returns what to tell the operator when
    // that is news: the first time, and whenever another holder takes its
    // place. Nothing while the same one holds on.
    std::optional<Text> wait_for(const FolderClaim& claim, const std::string& folder);

    // The folder is this Brevalt's now. Returns what to tell, if it waited.
    std::optional<Text> end(const std::string& folder);

    [[nodiscard]] bool waiting() const { return holder_.has_value(); }
    // What the icon shows while waiting.
    [[nodiscard]] SensorStatus status() const;
    // What a button of the window says while waiting.
    [[nodiscard]] Text refusal() const;

private:
    std::optional<FolderClaim> holder_;
};

// "alice, process 4711": who holds the folder, as the texts name them.
std::string holder_text(const ClaimHolder& holder);

}  // namespace brevalt
