#pragma once

#include <string>

#include "platform/result.h"

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

struct ProgramDir {
    std::string path;  // without a trailing separator, except at a root
    SysResult result;
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual LocalTime now() = 0;
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
};

}  // namespace brevalt
