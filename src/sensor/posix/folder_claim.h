#pragma once

#include <optional>
#include <string>

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

    // The locked descriptor, for the sensor to inherit; -1 without a claim.
    [[nodiscard]] int descriptor() const { return lock_fd_; }

    // Writes down this Brevalt and the sensor it now watches, if any.
    void record(std::optional<pid_t> sensor);

    void release();

private:
    Attempt settle(FolderClaim claim, bool free);
    FolderClaim refuse(FolderClaim claim);

    int folder_fd_ = -1;  // for the record; never inherited
    int lock_fd_ = -1;    // the folder, or the lock file inside it
    bool locked_ = false;
    bool attempted_ = false;
    bool first_attempt_ = true;
};

}  // namespace brevalt
