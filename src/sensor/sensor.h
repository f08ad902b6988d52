#pragma once

#include <optional>

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

// What start() reports as the failed call when no executable was found
// where the backend looks for one.
inline constexpr const char* k_sensor_not_found_call = "search";

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
    // tick of the schedule. Returns how the remembered sensor ended when it
    // ended by itself, once, and forgets it; a stopped sensor or one replaced
    // by a later start is never reported.
    virtual std::optional<SensorEnd> reap() = 0;
};

}  // namespace brevalt
