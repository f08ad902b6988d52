#include "app/low_disk.h"

#include "rotation/schedule.h"

namespace brevalt {

bool LowDiskWarning::looked_at_today(const LocalTime& now) const { return checked_day_ == wall_day(now); }

std::optional<News> LowDiskWarning::look(Platform& platform, const std::string& folder, const LocalTime& now) {
    const std::int64_t today = wall_day(now);
    checked_day_ = today;
    if (folder.empty() || warned_day_ == today) return std::nullopt;
    const FreeSpace space = platform.free_space(folder);
    if (!space.result.ok() || space.total_bytes == 0) return std::nullopt;
    const std::uint64_t percent = space.available_bytes * 100 / space.total_bytes;
    if (space.available_bytes >= k_low_bytes && percent >= k_low_percent) return std::nullopt;
    warned_day_ = today;
    return News{Priority::warning,
                {TextId::disk_nearly_full, {std::to_string(space.available_bytes >> 20), std::to_string(percent)}}};
}

}  // namespace brevalt
