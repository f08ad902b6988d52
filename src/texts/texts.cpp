#include "texts/texts.h"

#include <array>

namespace brevalt {

namespace {

// In the order of TextId.
constexpr std::array<std::string_view, k_text_count> k_english = {
    "The sensor could not be started: %1",
    R"(The sensor could not be started: no executable "snort" beside Brevalt or on PATH)",
    "The sensor ended by itself (exit status %1)",
    "The sensor ended by itself (killed by signal %1)",
    "The sensor ended by itself",
    R"(The sensor ended within a minute of its start %1 times in a row; it is not started again until "Snort実行" or the next rotation)",
    "The sensor was started again",
    "The sensor left running by an earlier Brevalt (process %1) is watched again",
    "The sensor already runs (process %1): no second one is started",
    "The rotation time %1 passed unseen (the clock went from %2 to %3): the logs are rotated now",
    "The logs were rotated: %1, %2",
    "%1 kept its name: %2 exists already",
    "%1 could not be renamed to %2: %3",
    "The log folder's file system is nearly full: %1 MiB free (%2%)",
    "Brevalt: sensor running since %1, next rotation %2",
    "Brevalt: sensor stopped (停止), next rotation %1",
    "Brevalt: sensor given up after %1 quick ends, next rotation %2",
    "Brevalt: sensor could not be started, next rotation %1",
    "Brevalt: sensor ended, restarted at the next check, next rotation %1",
    R"(Cannot use the settings file "%1", read from the current directory: %2)",
    R"(Cannot use the settings file "%1": the file is empty (write the rotation time on its first line, for example 03:30))",
    R"(Cannot use the settings file "%1": the first line holds no rotation time (expected HH:MM, e.g. 03:30))",
    R"(Only members of the group "%1" may run Brevalt: ask an administrator to run "adduser %2 %1", then log on again)",
    R"(Only members of the group "Brevalt Operators" may run Brevalt: ask an administrator to add you (net localgroup "Brevalt Operators" %1 /add), then log on again)",
    R"(Only members of the group "Brevalt Operators" may run Brevalt: ask an administrator to add you (net localgroup "Brevalt Operators" %1 /add), then log on again, or start Brevalt as administrator)",
    R"(Another Brevalt already serves the log folder "%1", perhaps in another user's session. This one starts no sensor and ends: two would run two sensors on the same logs.)",
    R"(Another Brevalt already serves the log folder "%1" (run by %2). This one starts no sensor and ends: two would run two sensors on the same logs.)",
    R"(The sensor left running on the log folder "%1" by another user's Brevalt (%2) may not be stopped by this user. This one starts no sensor and ends: two would run two sensors on the same logs.)",
    R"(Cannot make sure that no other Brevalt serves the log folder "%1": %2)",
    R"(Cannot make sure that no other Brevalt serves the log folder "%1": the folder is missing)",
    R"(Cannot use the settings file "%1": line %2 "%3" is not of the form name=value)",
    R"(Cannot use the settings file "%1": line %2 "%3": keep takes the number of dates to keep, from 1 to 3650)",
    R"(Cannot use the settings file "%1": line %2 "%3": compress takes yes or no)",
    R"(Cannot use the settings file "%1": %2 is given twice, on lines %3 and %4)",
    R"(The settings file "%1" names "%2" on line %3, which this version of Brevalt does not know: the line is ignored)",
    R"(The settings file "%1" is larger than 64 KiB: only its first 64 KiB are read)",
    "%1 dated logs older than the newest %2 dates were deleted; the oldest kept:%3",
    "%1 dated logs were compressed",
    "The dated log %1 could not be deleted: %2",
    "%1 dated logs, %2 the first, could not be deleted: %3",
    "The dated log %1 could not be compressed: %2",
    "%1 dated logs, %2 the first, could not be compressed: %3",
    "The log folder could not be read to keep its dated logs: %1",
    "The log folder's volume cannot compress files: compress=yes is not carried out there",
    R"(The log folder "%1" is served by the Brevalt of %2: this Brevalt starts no sensor and waits; it serves the folder itself once that one has ended)",
    R"(The sensor of %2 runs unwatched on the log folder "%1" (its Brevalt has ended): no rotation until it ends. This Brevalt waits and serves the folder itself once it has ended; %3 or an administrator can end it now (kill %4))",
    R"(The log folder "%1" is served by this Brevalt now)",
    "This Brevalt starts, stops and rotates nothing while another user's Brevalt or sensor serves the log folder (%1)",
    "Brevalt: no sensor of ours; the log folder is served by the Brevalt of %1",
    "Brevalt: no sensor of ours; the sensor of %1 runs unwatched, no rotation until it ends",
    "The dated log %1 is not compressed: %2 exists already and was not made from it; both are kept",
    "The dated log %1 was written to or in use by another program while it was to be compressed: it is kept whole and compressed at a later pass",
    "The clock seems to be behind: the logs were rotated to %1, but %2 is already in the log folder; the logs just rotated are never deleted by keep",
    R"(Cannot use the settings file "%1": line %2 holds text in UTF-16 (as Windows PowerShell 5.1 appends it) among text in another encoding; save the file as UTF-8)",
    R"(Cannot use the settings file "%1": line %2 "%3": metrics takes an absolute path ending in .prom)",
    R"(The metrics file "%1" could not be written: %2. Brevalt tries again at each check; the sensor runs on)",
    R"(The metrics file "%1" is written again)",
    R"(The rotation time "%1" never matches: the first line of the settings file must be HH:MM, two digits each, from 00:00 to 23:59 (for example 03:30). The sensor runs, but the logs are not rotated)",
    "Brevalt: sensor running since %1, no rotation is scheduled",
    "Brevalt: sensor stopped (停止), no rotation is scheduled",
    "Brevalt: sensor given up after %1 quick ends, no rotation is scheduled",
    "Brevalt: sensor could not be started, no rotation is scheduled",
    "Brevalt: sensor ended, restarted at the next check, no rotation is scheduled",
    R"(The log folder "%1" does not exist: the logs cannot be rotated until it is made)",
    R"(The logs could not be rotated: the log folder "%1" does not exist)",
    R"(Brevalt started: sensor process %1, log folder "%2", next rotation %3)",
    R"(Brevalt started: sensor process %1 (taken over), log folder "%2", next rotation %3)",
    R"(none (the time "%1" never matches))",
    "The sensor ended by itself (exit status %1); its last words in %2: %3",
    "The sensor ended by itself (killed by signal %1); its last words in %2: %3",
    "The sensor ended by itself; its last words in %1: %2",
    R"(Brevalt starts no sensor on "%1" and waits: the log folder is held by a process Brevalt does not know; no rotation until it lets go. This Brevalt serves the folder itself within a tick once it does; on Linux "fuser -v %1" or "lsof %1" shows which process holds it)",
    "This Brevalt starts, stops and rotates nothing while a process it does not know holds the log folder",
    "Brevalt: no sensor of ours; the log folder is held by a process Brevalt does not know; no rotation until it lets go",
    R"(Brevalt cannot write down in the log folder "%1" which sensor it watches (%2): it goes on serving the folder, but if it ends, a later Brevalt cannot take its sensor over and waits for it instead)",
    R"(The log folder "%1" is on a network file system: the claim that keeps one sensor per folder holds on this machine only. Two machines must not share this folder; give each machine a log folder of its own)",
};

}  // namespace

std::string_view english_form(TextId id) {
    const auto index = static_cast<std::size_t>(id);
    return index < k_english.size() ? k_english[index] : std::string_view();
}

std::string format(std::string_view form, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(form.size());
    for (std::size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '%' && i + 1 < form.size() && form[i + 1] >= '1' && form[i + 1] <= '9') {
            const auto arg = static_cast<std::size_t>(form[i + 1] - '1');
            if (arg < args.size()) {
                out += args[arg];
                ++i;
                continue;
            }
        }
        out += form[i];
    }
    return out;
}

}  // namespace brevalt
