#include "display_reach.h"

#include <sys/stat.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string_view>

namespace {

std::string_view variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

// WAYLAND_DISPLAY is a socket's name in XDG_RUNTIME_DIR, or an absolute path.
bool wayland_socket_exists(std::string_view display) {
    std::string path(display);
    if (path.front() != '/') {
        const std::string_view runtime = variable("XDG_RUNTIME_DIR");
        if (runtime.empty()) return false;
        path = std::string(runtime) + "/" + path;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool x_server_answers() {
    xcb_connection_t* connection = ::xcb_connect(nullptr, nullptr);
    const bool answers = ::xcb_connection_has_error(connection) == 0;
    ::xcb_disconnect(connection);
    return answers;
}

}  // namespace

std::optional<std::string> why_no_display() {
    // QT_QPA_PLATFORM may list several, "wayland;xcb"; unset, either serves.
    const std::string_view platform = variable("QT_QPA_PLATFORM");
    const bool wants_wayland = platform.empty() || platform.find("wayland") != std::string_view::npos;
    const bool wants_x = platform.empty() || platform.find("xcb") != std::string_view::npos;
    if (!wants_wayland && !wants_x) return std::nullopt;

    std::string tried;
    const std::string_view wayland = variable("WAYLAND_DISPLAY");
    if (wants_wayland) {
        if (!wayland.empty() && wayland_socket_exists(wayland)) return std::nullopt;
        tried = wayland.empty() ? "WAYLAND_DISPLAY is not set"
                                : "WAYLAND_DISPLAY=\"" + std::string(wayland) + "\" names no socket";
    }
    const std::string_view x = variable("DISPLAY");
    if (wants_x) {
        if (!x.empty() && x_server_answers()) return std::nullopt;
        if (!tried.empty()) tried += ", ";
        tried += x.empty() ? "DISPLAY is not set" : "no X server answers on DISPLAY=\"" + std::string(x) + "\"";
    }
    return "Brevalt needs a desktop session and could not reach one (" + tried +
           "): start it in the operator's desktop session";
}
