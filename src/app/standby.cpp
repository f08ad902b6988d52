#include "app/standby.h"

#include <utility>

namespace brevalt {
namespace {

bool same_holder(const FolderClaim& a, const FolderClaim& b) { return a.outcome == b.outcome && a.holder == b.holder; }

ClaimHolder holder_of(const std::optional<FolderClaim>& claim) {
    return claim && claim->holder ? *claim->holder : ClaimHolder{};
}

// A holder is named only with its user and process: never an empty name, and
// never a "kill 0", which would signal the operator's own process group.
bool named(const FolderClaim& claim) { return claim.holder && !claim.holder->user.empty() && claim.holder->pid > 0; }

enum class Wait { served, unwatched, unknown };

// A Brevalt of this user found while waiting (its record landed late)
// serves the folder just as another user's does.
Wait wait_of(const FolderClaim& claim) {
    if (!named(claim)) return Wait::unknown;
    switch (claim.outcome) {
    case FolderClaim::Outcome::served_by_other_user:
    case FolderClaim::Outcome::held_elsewhere:
        return Wait::served;
    case FolderClaim::Outcome::left_by_other_user:
        return Wait::unwatched;
    default:
        return Wait::unknown;
    }
}

}  // namespace

bool Standby::waits_for(const FolderClaim& claim) {
    return claim.outcome == FolderClaim::Outcome::served_by_other_user ||
           claim.outcome == FolderClaim::Outcome::left_by_other_user ||
           claim.outcome == FolderClaim::Outcome::held_by_unknown;
}

std::optional<Text> Standby::wait_for(const FolderClaim& claim, const std::string& folder) {
    if (holder_ && same_holder(*holder_, claim)) return std::nullopt;
    holder_ = claim;
    const ClaimHolder holder = holder_of(claim);
    switch (wait_of(claim)) {
    case Wait::served:
        return Text{TextId::standby_served_by, {folder, holder_text(holder)}};
    case Wait::unknown:
        return Text{TextId::standby_held_by_unknown, {folder}};
    case Wait::unwatched:
        break;
    }
    return Text{TextId::standby_unwatched_sensor,
                {folder, holder_text(holder), holder.user, std::to_string(holder.pid)}};
}

std::optional<Text> Standby::end(const std::string& folder) {
    if (!std::exchange(holder_, std::nullopt)) return std::nullopt;
    return Text{TextId::standby_over, {folder}};
}

SensorStatus Standby::status() const {
    SensorStatus status;
    if (!holder_) return status;
    switch (wait_of(*holder_)) {
    case Wait::served:
        status.kind = SensorStatus::Kind::served_elsewhere;
        break;
    case Wait::unwatched:
        status.kind = SensorStatus::Kind::unwatched_elsewhere;
        break;
    case Wait::unknown:
        status.kind = SensorStatus::Kind::held_by_unknown;
        return status;
    }
    status.holder = holder_text(holder_of(holder_));
    return status;
}

Text Standby::refusal() const {
    if (holder_ && wait_of(*holder_) == Wait::unknown) return {TextId::standby_refuses_unknown, {}};
    return {TextId::standby_refuses, {holder_text(holder_of(holder_))}};
}

std::string holder_text(const ClaimHolder& holder) {
    if (holder.pid == 0) return holder.user;
    const std::string process = "process " + std::to_string(holder.pid);
    return holder.user.empty() ? process : holder.user + ", " + process;
}

}  // namespace brevalt
