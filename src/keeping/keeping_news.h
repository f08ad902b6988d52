#pragma once

#include <string>
#include <vector>

#include "keeping/log_keeping.h"
#include "platform/platform.h"
#include "texts/texts.h"

namespace brevalt {

// What a pass over the log folder did, in the words the operator and the
// system log get. Failures of one kind come as one line with their count:
// a folder of a year's logs that cannot be written must not bring hundreds
// of notifications.
class KeepingNews {
public:
    std::vector<News> of(const KeepReport& report, const KeepSettings& settings, Platform& platform);

private:
    // Adds `name` to `told`; false where it was there already. A few names a
    // run: a tree for them would cost the Windows program more than it saves.
    static bool first_time(std::vector<std::string>& told, const std::string& name);

    // Told once a run: the volume does not change while Brevalt runs.
    bool told_cannot_compress_ = false;
    // A log left whole, beside a ".gz" or for being written to, is met again
    // at every pass; the operator hears of each once a run.
    std::vector<std::string> told_left_;
    // Why logs wait, and which names stand in the future: each told once a run.
    std::vector<std::string> told_waiting_;
    std::string told_future_;
    // A disk short of room is told once a day (yyyymmdd), with the figures.
    int told_no_room_date_ = 0;
};

}  // namespace brevalt
