#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "texts/texts.h"

// What the core asks of a desktop shell. Each shell (Qt on Linux, Win32 on
// Windows) implements it over its own window; tests implement it with a
// fake that keeps what it was told.
namespace brevalt {

class Shell {
public:
    virtual ~Shell() = default;

    virtual void show_rotation_time(std::string_view text) = 0;  // the time box
    // Where the time in the box is set, for a shell that can say so on the
    // box itself: the box only shows it.
    virtual void explain_rotation_time(std::string_view where) { (void)where; }
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

    // The form of `id` in the session's language, in UTF-8, with the same
    // %1, %2, ... as english_form(id); empty where the shell has none, and
    // the English form is shown.
    virtual std::string text_form(TextId id) = 0;
    // The sensor's state changed: the usual icon while one runs, the one
    // that says none does otherwise, and the tooltip. Called only on a
    // change, the first time at start-up before any tick; a shell whose icon
    // is not placed yet keeps both for when it is.
    virtual void show_sensor_state(bool runs, std::string_view tooltip) = 0;
    // Call Core::on_sensor_end_seen once `handle` is ready (a POSIX
    // descriptor that polls readable, a Win32 process handle that is
    // signalled), so that a sensor's end shows on the icon at once rather
    // than at the next tick. Replaces the handle watched before; none
    // watches nothing. The core owns the handle, which stays open until the
    // next call.
    virtual void watch_sensor_end(std::optional<std::intptr_t> handle) = 0;
    // The same for a connection to the control channel: call
    // Conductor::on_channel_ready whenever `handle` has something to read.
    virtual void watch_channel(std::optional<std::intptr_t> handle) { (void)handle; }
};

}  // namespace brevalt
