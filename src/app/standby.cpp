#include "app/standby.h"

#include <utility>

namespace brevalt {
namespace {

bool same_holder(const FolderClaim& a, const FolderClaim& b) { return a.outcome == b.outcome && a.holder == b.holder; }

ClaimHolder holder_of(const std::optional<FolderClaim>& claim) {
    return claim && claim->holder ? *claim->holder : ClaimHolder{};
}

}  // namespace

bool Standby::waits_for(const FolderClaim& claim) {
    return claim.outcome == FolderClaim::Outcome::served_by_other_user ||
           claim.outcome == FolderClaim::Outcome::left_by_other_user;
}

std::optional<Text> Standby::wait_for(const FolderClaim& claim, const std::string& folder) {
    if (holder_ && same_holder(*holder_, claim)) return std::nullopt;
    holder_ = claim;
    if (claim.outcome == FolderClaim::Outcome::served_by_other_user) {
        return Text{TextId::standby_served_by, {folder, holder_text(holder_of(claim))}};
    }
    const ClaimHolder holder = holder_of(claim);
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
    status.kind = holder_->outcome == FolderClaim::Outcome::served_by_other_user ? SensorStatus::Kind::served_elsewhere
                                                                                  : SensorStatus::Kind::unwatched_elsewhere;
    status.holder = holder_text(holder_of(holder_));
    return status;
}

Text Standby::refusal() const { return {TextId::standby_refuses, {holder_text(holder_of(holder_))}}; }

std::string holder_text(const ClaimHolder& holder) {
    if (holder.pid == 0) return holder.user;
    const std::string process = "process " + std::to_string(holder.pid);
    return holder.user.empty() ? process : holder.user + ", " + process;
}

}  // namespace brevalt
