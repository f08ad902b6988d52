#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/result.h"

// The sensor process as the rest of the program sees it. A backend starts the
// sensor as a child, remembers the last one started and ends it on request.
namespace brevalt {

// How a sensor that nobody stopped came to its end.
struct SensorEnd {
    enum class How {
        exited,     // `number` is its exit status
        signalled,  // `number` is the signal that ended it
        unknown     // collected by someone else: nothing is known
    };
    How how = How::unknown;
    int number = 0;
};

// Who holds a log folder that is not this Brevalt's: named only where that
// process is shown to hold this very folder.
struct ClaimHolder {
    enum class Kind {
        brevalt,  // a Brevalt that serves the folder
        sensor    // a sensor its Brevalt left running
    };
    Kind kind = Kind::brevalt;
    std::string user;  // empty where the system would not tell
    long pid = 0;      // 0 where unknown
    bool operator==(const ClaimHolder&) const = default;
};

// The outcome of claiming the log folder for this Brevalt and the sensors it
// starts. One Brevalt and one sensor per log folder, machine-wide: two
// sensors would write every alert twice and rotate each other's logs. The
// claim lives as long as Brevalt or the sensor it started, whichever ends
// last, so a sensor left running after "終了", a kill, a crash or a session
// end that Brevalt could not see is found by the next Brevalt and taken over.
struct FolderClaim {
    enum class Outcome {
        claimed,               // ours, and no sensor serves the folder yet
        taken_over,            // ours, with the sensor an earlier Brevalt left running (`pid`)
        missing,               // no such folder: nothing was claimed
        held_elsewhere,        // another Brevalt of this user serves it; `holder` where known
        left_by_other_user,    // a sensor left running that this user may not stop: `holder`
        served_by_other_user,  // another user's Brevalt serves it: `holder`
        // The claim is held by a process that nothing believable names (a
        // sensor's daemonised child, a member's own lock, a Brevalt whose
        // record is not written yet): waited for until it lets go.
        held_by_unknown,
        failed                 // the claim could not be made; `failure` says why
    };
    Outcome outcome = Outcome::failed;
    long pid = 0;  // taken_over: the sensor watched from now on
    std::optional<ClaimHolder> holder;
    std::string failure;  // failed: the call and its error, in words
    // For the system log, where the claim is not the usual one (a folder on a
    // file system that cannot lock it): which claim is held instead.
    std::string note;
    // The folder is on a network file system: the claim holds on this
    // machine only, and another machine sharing the folder is not seen.
    bool network_file_system = false;

    // The folder is this Brevalt's to serve.
    [[nodiscard]] bool ours() const { return outcome == Outcome::claimed || outcome == Outcome::taken_over; }

    static FolderClaim of(Outcome outcome) {
        FolderClaim claim;
        claim.outcome = outcome;
        return claim;
    }
    static FolderClaim held_by(Outcome outcome, ClaimHolder holder) {
        FolderClaim claim = of(outcome);
        claim.holder = std::move(holder);
        return claim;
    }
    static FolderClaim failed_because(std::string failure) {
        FolderClaim claim = of(Outcome::failed);
        claim.failure = std::move(failure);
        return claim;
    }
    static FolderClaim taken_over_from(long pid) {
        FolderClaim claim = of(Outcome::taken_over);
        claim.pid = pid;
        return claim;
    }
};

// What came of a start.
struct SensorStart {
    enum class Outcome {
        started,
        not_found,   // no executable where the backend looks for one
        claim_lost,  // the folder's claim is no longer this Brevalt's: none started
        failed       // `result` says which call failed
    };
    Outcome outcome = Outcome::started;
    SysResult result;
    // not_found: the executable's name and the folders looked in, where the
    // backend can say.
    std::string executable;
    std::string searched;

    [[nodiscard]] bool ok() const { return outcome == Outcome::started; }
    static SensorStart done() { return {}; }
    static SensorStart because(Outcome outcome, SysResult result = {}) { return {outcome, result, {}, {}}; }
    static SensorStart failure(SysResult result) { return {Outcome::failed, result, {}, {}}; }
};

class Sensor {
public:
    virtual ~Sensor() = default;

    // Claims `folder` (an existing folder, given without a trailing
    // separator) for this Brevalt, machine-wide, and takes over a sensor that
    // an earlier Brevalt left running on it: the very executable this Brevalt
    // would start, serving this folder, and only through a handle that can
    // never point at a reused process id. Called once, before any start; the
    // claim is kept until the process ends and handed on to every sensor
    // started. Called again, with no sensor remembered, by a Brevalt that
    // waits for another user's to let go of the folder.
    virtual FolderClaim claim_folder(const std::string& folder) = 0;

    // Starts a new sensor once every stopped one is gone. The caller makes
    // sure none runs: a sensor started earlier and still running would be
    // left alone and forgotten. Starts nothing where the claim is no longer
    // held.
    virtual SensorStart start() = 0;

    // The process id of the remembered sensor (started or taken over, and
    // not stopped or reported ended since).
    [[nodiscard]] virtual std::optional<long> running_pid() const = 0;

    // Asks the remembered sensor, and every process it started, to end and
    // forgets it, without waiting.
    // With no remembered sensor (never started, already stopped, or found to
    // have ended by itself) nothing is signalled, closed or terminated.
    virtual void stop() = 0;

    // Makes sure that every sensor stopped so far is really gone, killing one
    // that is still alive. A rotation calls this after its wait and before it
    // renames, so an old sensor never writes into a renamed log.
    virtual void ensure_stopped_gone() = 0;

    // True once every sensor stopped so far has ended, so that a caller can
    // give a stopped sensor its time to close its logs without waiting longer
    // than it needs.
    [[nodiscard]] virtual bool stopped_gone() = 0;

    // Collects sensors that have ended (stopped ones, and ones that ended by
    // themselves) so that none lingers as a zombie; cheap, called on every
    // tick of the schedule. Returns how the remembered sensor ended when it
    // ended by itself, once, and forgets it; a stopped sensor or one replaced
    // by a later start is never reported.
    virtual std::optional<SensorEnd> reap() = 0;

    // Something the window's event loop can wait on that becomes ready when
    // the remembered sensor ends: POSIX, a process descriptor that polls
    // readable; Win32, the process handle. Owned by the backend, valid until
    // the next start, stop or reap. None without a remembered sensor, or
    // where the system gives none (the end is then found at the next tick).
    [[nodiscard]] virtual std::optional<std::intptr_t> end_handle() const { return std::nullopt; }

    // Every sensor started from now on writes its standard output and error
    // into the file at `path` (in the log folder), begun afresh at each
    // start. Where the file cannot be opened the sensor still starts, with
    // Brevalt's own standard output and error.
    virtual void keep_output_in(const std::string& path) { (void)path; }

    // Why the record of who serves the folder could not be written, once:
    // after the first failure following a success (or the start). A later
    // Brevalt cannot take over a sensor that the record does not name.
    [[nodiscard]] virtual std::optional<std::string> take_record_failure() { return std::nullopt; }

    // False once the folder's claim is no longer this Brevalt's alone: a
    // rotation renames the logs only while it is.
    [[nodiscard]] virtual bool holds_claim() { return true; }

    // Lets go of the folder for good, its sensor gone, and strikes this
    // Brevalt from the record: a process that goes on as something else
    // (the same process id, started at the same moment) would otherwise
    // still read as the live Brevalt that serves the folder.
    virtual void let_go_of_folder() {}

    // The file the last sensor started writes its output into; empty where
    // it writes elsewhere (the file could not be opened, or it was started
    // by an earlier Brevalt), so that an older sensor's words are never
    // quoted for it.
    [[nodiscard]] virtual std::string output_file() const { return {}; }
};

}  // namespace brevalt
