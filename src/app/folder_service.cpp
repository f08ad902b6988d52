#include "app/folder_service.h"

#include <utility>

namespace brevalt {

namespace {

ClaimHolder holder_of(const std::optional<FolderClaim>& claim) {
    return claim && claim->holder ? *claim->holder : ClaimHolder{};
}

bool same_holder(const FolderClaim& a, const FolderClaim& b) { return a.outcome == b.outcome && a.holder == b.holder; }

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

std::string holder_text(const ClaimHolder& holder) {
    if (holder.pid == 0) return holder.user;
    const std::string process = "process " + std::to_string(holder.pid);
    return holder.user.empty() ? process : holder.user + ", " + process;
}

FolderService::FolderService(Sensor& sensor, Platform& platform, Telling& telling)
    : sensor_(sensor), platform_(platform), telling_(telling) {}

bool FolderService::waits_for(const FolderClaim& claim) {
    return claim.outcome == FolderClaim::Outcome::served_by_other_user ||
           claim.outcome == FolderClaim::Outcome::left_by_other_user ||
           claim.outcome == FolderClaim::Outcome::held_by_unknown;
}

FolderService::Start FolderService::claim_at_start(const std::string& log_folder) {
    std::string folder = log_folder;
    FolderClaim claim = sensor_.claim_folder(folder);
    if (claim.outcome == FolderClaim::Outcome::missing) {
        folder = platform_.program_dir().path;
        claim = sensor_.claim_folder(folder);
    }
    claimed_folder_ = folder;
    switch (claim.outcome) {
    case FolderClaim::Outcome::claimed:
    case FolderClaim::Outcome::taken_over:
    case FolderClaim::Outcome::served_by_other_user:
    case FolderClaim::Outcome::left_by_other_user:
    case FolderClaim::Outcome::held_by_unknown:
        return {std::move(claim), std::nullopt};
    case FolderClaim::Outcome::held_elsewhere: {
        Text refusal = !claim.holder ? Text{TextId::folder_held, {folder}}
                                     : Text{TextId::folder_held_by, {folder, holder_text(*claim.holder)}};
        return {std::move(claim), std::move(refusal)};
    }
    case FolderClaim::Outcome::missing:
    case FolderClaim::Outcome::failed:
        break;
    }
    Text refusal = claim.failure.empty() ? Text{TextId::folder_missing, {folder}}
                                         : Text{TextId::folder_unsure, {folder, claim.failure}};
    claim.outcome = FolderClaim::Outcome::failed;
    return {std::move(claim), std::move(refusal)};
}

void FolderService::tell_what_the_claim_found(const FolderClaim& claim) {
    if (claim.network_file_system) telling_.tell(Priority::warning, {TextId::network_log_folder, {claimed_folder_}});
}

FolderClaim FolderService::claim_again() {
    FolderClaim claim = sensor_.claim_folder(claimed_folder_);
    if (!claim.ours()) {
        wait_for(claim);
        return claim;
    }
    if (std::exchange(holder_, std::nullopt)) {
        telling_.serving(true);
        telling_.tell(Priority::notice, {TextId::standby_over, {claimed_folder_}});
    }
    return claim;
}

void FolderService::wait_for(const FolderClaim& claim) {
    if (!holder_ || !same_holder(*holder_, claim)) {
        holder_ = claim;
        telling_.serving(false);
        const ClaimHolder holder = holder_of(holder_);
        switch (wait_of(claim)) {
        case Wait::served:
            telling_.tell(Priority::warning, {TextId::standby_served_by, {claimed_folder_, holder_text(holder)}});
            break;
        case Wait::unknown:
            telling_.tell(Priority::warning, {TextId::standby_held_by_unknown, {claimed_folder_}});
            break;
        case Wait::unwatched:
            telling_.tell(Priority::warning, {TextId::standby_unwatched_sensor,
                                              {claimed_folder_, holder_text(holder), holder.user,
                                               std::to_string(holder.pid)}});
            break;
        }
    }
    telling_.show_status(status(), sensor_.end_handle());
}

bool FolderService::refuses_while_waiting() {
    if (!waiting()) return false;
    if (wait_of(*holder_) == Wait::unknown) {
        telling_.tell(Priority::notice, {TextId::standby_refuses_unknown, {}});
    } else {
        telling_.tell(Priority::notice, {TextId::standby_refuses, {holder_text(holder_of(holder_))}});
    }
    return true;
}

SensorStatus FolderService::status() const {
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

}  // namespace brevalt
