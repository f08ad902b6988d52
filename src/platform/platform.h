#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "texts/news.h"
#include "texts/texts.h"

// Everything the rotation needs from the operating system, behind one small
// interface so that the schedule and the rotation can be driven by a fake
// clock and a fake file system in tests.
namespace brevalt {

// A broken-down local date and time, as the wall clock on the operator's
// machine shows it.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};


// The space on the file system that holds a folder, as an unprivileged
// process may use it.
struct FreeSpace {
    std::uint64_t available_bytes = 0;
    std::uint64_t total_bytes = 0;
    SysResult result;
};

struct ProgramDir {
    std::string path;  // without a trailing separator, except at a root
    SysResult result;
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual LocalTime now() = 0;
    // Seconds since 1970-01-01 00:00 UTC, as timestamps outside the machine
    // are given, whatever the local zone.
    virtual std::int64_t unix_time() = 0;
    virtual void sleep_ms(unsigned milliseconds) = 0;

    // The folder that holds the running executable, independent of the
    // current directory.
    virtual ProgramDir program_dir() = 0;

    // Separator used to join the program folder and "log".
    [[nodiscard]] virtual char path_separator() const = 0;

    // Moves `from` to `to` in the same folder. Never replaces an existing
    // `to`: a dated log from an earlier rotation must survive a second
    // rotation on the same day.
    virtual SysResult rename_no_replace(const std::string& from, const std::string& to) = 0;

    // True when something (a file, a link, a folder) has this name.
    virtual bool name_exists(const std::string& path) = 0;

    // Writes one line of the core's text to the system log under the name
    // "brevalt", so that an operator who missed the notification, or a
    // machine that nobody watches, still has the record.
    virtual void log_event(Priority priority, std::string_view text) = 0;

    // The system's own words for an error number that a platform call left
    // in a SysResult ("Permission denied"), in English whatever the session's
    // language: they go to the system log, and an administrator searches
    // for them as they are.
    virtual std::string error_text(int error) = 0;

    // True when the error number says that a name is taken already: the
    // numbers differ between systems, and a rotation tells this case apart.
    [[nodiscard]] virtual bool name_taken(int error) const = 0;

    virtual FreeSpace free_space(const std::string& folder) = 0;

    // `path` taken from the current directory, as opening it would take it;
    // `path` itself where it is absolute or the current directory is unknown.
    virtual std::string absolute_path(const std::string& path) = 0;

    // True when `path` names an existing folder (through links).
    virtual bool is_folder(const std::string& path) = 0;

    // None when this user may run Brevalt on `log_folder` (writes it, or it
    // does not exist yet); else the sentence that tells them why not and
    // what to do about it.
    virtual std::optional<Text> why_not_operator(const std::string& log_folder) = 0;

    // The user this process runs as, by name, for the record of what an
    // operator did.
    virtual std::string user_name() = 0;
};

}  // namespace brevalt
