#include "app/sensor_status.h"

#include <string>

namespace brevalt {

Text status_tooltip(const SensorStatus& status, std::string_view rotation_time) {
    std::string next(rotation_time);
    switch (status.kind) {
    case SensorStatus::Kind::running:
        return {TextId::tip_running, {status.since, std::move(next)}};
    case SensorStatus::Kind::stopped:
        return {TextId::tip_stopped, {std::move(next)}};
    case SensorStatus::Kind::given_up:
        return {TextId::tip_given_up, {std::to_string(status.quick_ends), std::move(next)}};
    case SensorStatus::Kind::start_failed:
        return {TextId::tip_start_failed, {std::move(next)}};
    case SensorStatus::Kind::served_elsewhere:
        return {TextId::tip_served_by, {status.holder}};
    case SensorStatus::Kind::unwatched_elsewhere:
        return {TextId::tip_unwatched_sensor, {status.holder}};
    case SensorStatus::Kind::ended:
        break;
    }
    return {TextId::tip_ended, {std::move(next)}};
}

}  // namespace brevalt
