#include "app/standby.h"

#include <utility>

namespace brevalt {
namespace {

bool same_holder(const FolderClaim& a, const FolderClaim& b) {
    return a.outcome == b.outcome && a.pid == b.pid && a.detail == b.detail;
}

// "alice, process 4711" -> "alice": the user, for the remedy.
std::string user_of(const std::string& detail) { return detail.substr(0, detail.find(',')); }

}  // namespace

bool Standby::waits_for(const FolderClaim& claim) {
    return claim.outcome == FolderClaim::Outcome::served_by_other_user ||
           claim.outcome == FolderClaim::Outcome::left_by_other_user;
}

std::optional<Text> Standby::wait_for(const FolderClaim& claim, const std::string& folder) {
    if (holder_ && same_holder(*holder_, claim)) return std::nullopt;
    holder_ = claim;
    if (claim.outcome == FolderClaim::Outcome::served_by_other_user) {
        return Text{TextId::standby_served_by, {folder, claim.detail}};
    }
    return Text{TextId::standby_unwatched_sensor,
                {folder, claim.detail, user_of(claim.detail), std::to_string(claim.pid)}};
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
    status.holder = holder_->detail;
    return status;
}

Text Standby::refusal() const { return {TextId::standby_refuses, {holder_ ? holder_->detail : std::string()}}; }

}  // namespace brevalt
