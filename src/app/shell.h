#pragma once

#include <string_view>

// What the core asks of a desktop shell. Each shell (Qt on Linux, Win32 on
// Windows) implements it over its own window; tests implement it with a
// recorder.
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
    virtual void prepare_icon() = 0;  // the notification record: icon and tooltip
    virtual void hide_window() = 0;
    // Puts the icon into the notification area, or puts it there again after
    // the area came back. False when there is no notification area (yet) or
    // it refused the icon.
    virtual bool register_icon() = 0;
    virtual void show_window() = 0;
    // Ends the program at once, with status 0, leaving the sensor running.
    virtual void end_program() = 0;
};

}  // namespace brevalt
