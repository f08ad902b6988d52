#include "app/sensor_status.h"

#include <string>

#include "rotation/schedule.h"

namespace brevalt {

namespace {

// The state's own words, with the next rotation as the last argument; a
// time that never matches has none, and the tooltip says so rather than
// promise a rotation that will not come.
Text tooltip_with_rotation(TextId scheduled, TextId unscheduled, std::vector<std::string> args,
                           std::string_view rotation_time) {
    if (!minute_of_day(rotation_time)) return {unscheduled, std::move(args)};
    args.emplace_back(rotation_time);
    return {scheduled, std::move(args)};
}

}  // namespace

Text status_tooltip(const SensorStatus& status, std::string_view rotation_time) {
    switch (status.kind) {
    case SensorStatus::Kind::running:
        return tooltip_with_rotation(TextId::tip_running, TextId::tip_running_unscheduled, {status.since},
                                     rotation_time);
    case SensorStatus::Kind::stopped:
        return tooltip_with_rotation(TextId::tip_stopped, TextId::tip_stopped_unscheduled, {}, rotation_time);
    case SensorStatus::Kind::given_up:
        return tooltip_with_rotation(TextId::tip_given_up, TextId::tip_given_up_unscheduled,
                                     {std::to_string(status.quick_ends)}, rotation_time);
    case SensorStatus::Kind::start_failed:
        return tooltip_with_rotation(TextId::tip_start_failed, TextId::tip_start_failed_unscheduled, {},
                                     rotation_time);
    case SensorStatus::Kind::served_elsewhere:
        return {TextId::tip_served_by, {status.holder}};
    case SensorStatus::Kind::unwatched_elsewhere:
        return {TextId::tip_unwatched_sensor, {status.holder}};
    case SensorStatus::Kind::held_by_unknown:
        return {TextId::tip_held_by_unknown, {}};
    case SensorStatus::Kind::service_silent:
        return {TextId::tip_service_silent, {}};
    case SensorStatus::Kind::ended:
        break;
    }
    return tooltip_with_rotation(TextId::tip_ended, TextId::tip_ended_unscheduled, {}, rotation_time);
}

}  // namespace brevalt
