#pragma once

#include <optional>
#include <string>

#include "app/sensor_status.h"
#include "app/telling.h"
#include "sensor/sensor.h"
#include "texts/texts.h"

// Who serves the log folder. One Brevalt and one sensor per folder,
// machine-wide: the claim's every outcome is sorted here, into serving it,
// waiting for another operator's Brevalt or the sensor it left, or refusing
// to start. A Brevalt that waits stays in the notification area instead of
// ending: once the holder ends, it serves the folder itself, so that the
// logs are never left without a sensor while an operator is logged on.
// Meanwhile it starts, stops and rotates nothing: two sensors on one folder
// would write every alert twice.
namespace brevalt {

// "alice, process 4711": who holds the folder, as the texts name them.
std::string holder_text(const ClaimHolder& holder);

class FolderService {
public:
    FolderService(Sensor& sensor, Platform& platform, Telling& telling);

    struct Start {
        FolderClaim claim;
        std::optional<Text> refusal;  // start-up stops with this
    };
    // The first claim. The log folder is what two Brevalts must not share;
    // where there is none yet, the program folder it would be made in
    // stands for it. Waiting starts only once the icon is in place.
    Start claim_at_start(const std::string& log_folder);

    // Claims the folder again: the one path for a claim found lost, and the
    // tick's question while waiting. Where it is ours, any wait ends (and is
    // told); otherwise this Brevalt waits for whoever holds it.
    FolderClaim claim_again();

    // What the first claim found worth telling once the icon is in place: a
    // log folder on a network file system, where the claim holds on this
    // machine only.
    void tell_what_the_claim_found(const FolderClaim& claim);

    // Waits for what `claim` names: told the first time and whenever
    // another holder takes its place, shown on the icon.
    void wait_for(const FolderClaim& claim);

    [[nodiscard]] bool waiting() const { return holder_.has_value(); }
    // While waiting, a button of the window does nothing and says why.
    bool refuses_while_waiting();

    // The folder whose claim decides who serves.
    [[nodiscard]] const std::string& claimed_folder() const { return claimed_folder_; }

    // The folder is the machine's service's from now on: this Brevalt,
    // its sensor ended, goes on as the service's view in this very process.
    void hand_over() { sensor_.let_go_of_folder(); }

    // The claims that mean waiting for another operator rather than serving
    // the folder or refusing to start.
    static bool waits_for(const FolderClaim& claim);

private:
    [[nodiscard]] SensorStatus status() const;

    Sensor& sensor_;
    Platform& platform_;
    Telling& telling_;
    std::string claimed_folder_;
    std::optional<FolderClaim> holder_;
};

}  // namespace brevalt
