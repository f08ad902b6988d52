#pragma once

#include <cstdlib>
#include <string>
#include <vector>

// Where the control channel listens, in the one place that the service, a
// desktop Brevalt and the command line all read.
namespace brevalt {

// The machine's service, under systemd's RuntimeDirectory; the socket's
// group is the operators'.
inline constexpr const char* k_machine_socket = "/run/brevalt/brevalt.sock";
inline constexpr const char* k_operators_group = "brevalt";

// A desktop Brevalt's own, for its user alone; empty where the session has
// no runtime folder.
inline std::string session_socket() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime != '/') return {};
    return std::string(runtime) + "/brevalt.sock";
}

// Where a client looks, in order: the machine's service owns the sensor
// wherever it runs; only where it does not does a session's Brevalt.
inline std::vector<std::string> control_sockets() {
    std::vector<std::string> places{k_machine_socket};
    if (std::string own = session_socket(); !own.empty()) places.push_back(std::move(own));
    return places;
}

}  // namespace brevalt
