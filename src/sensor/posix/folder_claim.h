#pragma once

#include <optional>
#include <string>
#include <utility>

#include "sensor/posix/sensor_record.h"
#include "sensor/sensor.h"

// The claim of a log folder on POSIX: an exclusive lock on the folder, on a
// descriptor that every sensor started inherits, so that the claim lives as
// long as Brevalt or its sensor, whichever ends last. Only a process holding
// the lock serves the folder; the record in the folder says which ones do.
namespace brevalt {

class LogFolderClaim {
public:
    LogFolderClaim() = default;
    LogFolderClaim(const LogFolderClaim&) = delete;
    LogFolderClaim& operator=(const LogFolderClaim&) = delete;
    ~LogFolderClaim() { release(); }

    struct Attempt {
        FolderClaim claim;
        // taken_over: the sensor left running on the folder, pinned.
        std::optional<PinnedProcess> left_sensor;
    };

    // Claims `folder` (no trailing separator) for this process. Anything
    // held from an earlier attempt is let go first, and a refused attempt
    // keeps nothing open: a Brevalt that is refused must not look like one
    // that serves the folder.
    Attempt claim(const std::string& folder);

    // True while the lock is ours, taking it where it is free: after a
    // sensor taken over, which held it, has ended. False where another
    // process took it first: no sensor may be started then.
    bool hold();

    // True once the lock is ours and held by no process of an earlier
    // sensor: every sensor inherits the lock itself, so a daemonised child
    // or a wrapper's leftover still holds it when its sensor has ended.
    // The lock handed to sensors is let go of and taken afresh; another
    // Brevalt that checks the folder meanwhile finds this one in the record
    // and lets go at once, so the fresh lock is given that moment.
    bool hold_alone();

    // The locked descriptor, for a sensor about to start to inherit; -1
    // without a claim.
    int hand_to_sensor() {
        handed_out_ = lock_fd_ >= 0;
        return lock_fd_;
    }

    // Writes down this Brevalt and the sensor it now watches, if any.
    void record(std::optional<pid_t> sensor);

    // Why the record could not be written, once per run of failures.
    std::optional<std::string> take_record_failure() { return std::exchange(record_failure_, std::nullopt); }

    void release();
    // Releases the claim, first writing down that no Brevalt serves the
    // folder where the record names this process.
    void let_go();

private:
    Attempt settle(FolderClaim claim, bool free);
    FolderClaim refuse(FolderClaim claim);

    int folder_fd_ = -1;  // for the record; never inherited
    int lock_fd_ = -1;    // the folder, or the lock file inside it
    bool lock_file_ = false;   // lock_fd_ is the lock file's
    bool handed_out_ = false;  // a sensor inherited lock_fd_
    bool locked_ = false;
    bool record_unwritten_ = false;
    std::optional<std::string> record_failure_;  // not told yet
    bool attempted_ = false;
    bool first_attempt_ = true;
};

}  // namespace brevalt
