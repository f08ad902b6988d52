#pragma once

#include "platform/result.h"

// The sensor process as the rest of the program sees it. A backend starts the
// sensor as a child, remembers the last one started and ends it on request.
namespace brevalt {

class Sensor {
public:
    virtual ~Sensor() = default;

    // Starts a new sensor. A sensor started earlier and still running is left
    // alone: only the newest one is remembered and later stopped.
    virtual SysResult start() = 0;

    // Asks the remembered sensor to end and forgets it, without waiting.
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
    // tick of the schedule.
    virtual void reap() = 0;
};

}  // namespace brevalt
