#pragma once

#include <string_view>

// What the start-up order and the schedule ask of a desktop shell. Each shell
// (Qt on Linux, Win32 on Windows) implements it over its own window; tests
// implement it with a recorder.
namespace brevalt {

class Shell {
public:
    virtual ~Shell() = default;

    virtual void set_time_text(std::string_view text) = 0;      // Text1
    virtual void set_clock_caption(std::string_view text) = 0;  // Label1
    virtual void start_timer(unsigned interval_ms) = 0;         // Timer1
    virtual void hide_picture() = 0;                            // Picture1, still receiving icon events
    virtual void prepare_icon() = 0;                            // the notification record
    virtual void hide_window() = 0;
    // Returns false when there is no notification area or it refused the
    // icon; the window is then shown again so the operator keeps control.
    virtual bool register_icon() = 0;
    virtual void show_window() = 0;
    // Ends the program at once, with status 0, leaving the sensor running.
    virtual void end_program() = 0;
};

}  // namespace brevalt
