#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "texts/news.h"

// The warning that the log folder's disk is nearly full: a sensor that
// cannot write loses alerts without a word of its own. Looked at once a day
// by the tick and after every rotation, told at most once a day.
namespace brevalt {

class LowDiskWarning {
public:
    // Below either, a day of logs may no longer fit: a busy sensor writes
    // hundreds of megabytes a day, and a few percent of a large disk is a
    // few days' margin.
    static constexpr std::uint64_t k_low_bytes = std::uint64_t{1} << 30;
    static constexpr std::uint64_t k_low_percent = 5;

    // Whether the tick should look today.
    [[nodiscard]] bool looked_at_today(const LocalTime& now) const;
    // Looks at `folder`'s file system; the warning, where one is due.
    std::optional<News> look(Platform& platform, const std::string& folder, const LocalTime& now);

private:
    // Days (wall_day) on which the space was last looked at and last found
    // short.
    std::int64_t checked_day_ = -1;
    std::int64_t warned_day_ = -1;
};

}  // namespace brevalt
