#pragma once

#include <optional>
#include <string>

// Whether this process can reach a desktop session's display server, asked
// before the toolkit is, which aborts the process where there is none and
// advises reinstalling the application.
//
// Tried the way the toolkit would: a Wayland compositor through the socket
// that WAYLAND_DISPLAY names, an X server through a real connection to
// DISPLAY. None when one answers, or when the toolkit is told to use another
// kind of platform (QT_QPA_PLATFORM=offscreen, vnc, ...); else what was
// tried and why it failed, for one line to the operator.
std::optional<std::string> why_no_display();
