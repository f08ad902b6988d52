#pragma once

#include <string_view>

// What the core asks of a desktop shell. Each shell (Qt on Linux, Win32 on
// Windows) implements it over its own window; tests implement it with a
// fake that keeps what it was told.
namespace brevalt {

class Shell {
public:
    virtual ~Shell() = default;

    virtual void show_rotation_time(std::string_view text) = 0;  // the time box
    virtual void show_clock(std::string_view text) = 0;          // the clock label
    virtual void start_tick_timer(unsigned interval_ms) = 0;
    // The picture box that stands for the icon in the window; hidden, it
    // still receives the icon's events on Windows.
    virtual void hide_icon_picture() = 0;
    // The icon with its tooltip, ready to register; a shell whose toolkit
    // settles on a kind of notification area on making the icon may wait
    // for register_icon.
    virtual void prepare_icon() = 0;
    virtual void hide_window() = 0;
    // Puts the icon into the notification area, or puts it there again after
    // the area came back. False when there is no notification area (yet) or
    // it refused the icon.
    virtual bool register_icon() = 0;
    virtual void show_window() = 0;
    // A short sentence for the operator from the icon, one that vanishes by
    // itself: a failure or an unexpected change, never a question. Where
    // there is no icon it is left to the system log.
    virtual void notify(std::string_view text) = 0;
    // Ends the program at once, with status 0, leaving the sensor running.
    virtual void end_program() = 0;
};

}  // namespace brevalt
