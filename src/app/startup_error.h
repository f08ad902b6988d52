#pragma once

#include <string>

namespace brevalt {

// The process status when start-up fails (no usable settings file, or the
// log folder already served by another Brevalt).
inline constexpr int k_startup_error_status = 1;

// Why start-up stopped, for the shell to report before it ends the program.
struct StartupError {
    std::string message;  // English, for standard error
    std::string shown;    // the same in the operator's language, for the box
    // Nothing to show: the program ends with status 0. A user who may not
    // run Brevalt, started by the start at logon that every user's logon
    // runs, is no failure of theirs.
    bool quiet = false;
};

}  // namespace brevalt
