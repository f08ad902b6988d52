#pragma once

#include <cstdint>

namespace brevalt {

// Whether a sensor that ended by itself may be started again. One that ends
// again and again right after its start (a broken configuration, a missing
// capture device) would otherwise be started every 30 seconds for ever, each
// time with a notification; after a few such ends in a row Brevalt stops
// trying until the operator starts it or a rotation does.
class QuickEnds {
public:
    static constexpr int k_limit = 3;
    static constexpr std::int64_t k_quick_seconds = 60;

    // A sensor was started at `wall_seconds`, by anyone.
    void started(std::int64_t wall_seconds) { started_at_ = last_seen_alive_ = wall_seconds; }

    // A tick found the sensor running at `wall_seconds`.
    void seen_alive(std::int64_t wall_seconds) { last_seen_alive_ = wall_seconds; }

    // The operator or a rotation started the sensor: earlier ends no longer
    // count against it.
    void forgive() { in_a_row_ = 0; }

    // The sensor was found ended. An end counts as quick when no tick saw the
    // sensor alive a minute or more after its start: what matters is when it
    // ended, not when a tick noticed, which may be a minute later. False once
    // it has ended quickly k_limit times in a row. A clock set back makes any
    // end look quick, which at worst gives up a restart early and says so.
    bool may_start_again() {
        in_a_row_ = last_seen_alive_ - started_at_ < k_quick_seconds ? in_a_row_ + 1 : 0;
        return in_a_row_ < k_limit;
    }

private:
    std::int64_t started_at_ = 0;
    std::int64_t last_seen_alive_ = 0;
    int in_a_row_ = 0;
};

}  // namespace brevalt
