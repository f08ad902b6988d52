#include "control/posix/control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "control/posix/socket_places.h"
#include "control/protocol.h"

namespace brevalt {

namespace {

using Clock = std::chrono::steady_clock;

// What `brevalt <request>` would have done, for "only ... may <this>".
const char* deed(ControlRequest request) {
    switch (request) {
        case ControlRequest::start: return "start the sensor";
        case ControlRequest::stop: return "stop the sensor";
        case ControlRequest::rotate: return "rotate the logs";
        case ControlRequest::status:
        case ControlRequest::subscribe: break;
    }
    return "ask for the sensor's state";
}

// One conversation with the Brevalt at one socket.
class Conversation {
public:
    Conversation(ControlRequest request, std::string path, Clock::time_point deadline)
        : request_(request), path_(std::move(path)), deadline_(deadline) {}
    ~Conversation() {
        if (fd_ >= 0) ::close(fd_);
    }
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    // errno of the connect, 0 when connected.
    int connect() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path_.size() >= sizeof address.sun_path) return ENAMETOOLONG;
        std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
        const int fd = fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return errno;
        // A server whose queue is full holds the connect: no longer than
        // the whole conversation may take.
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline_ - Clock::now());
        const timeval limit{static_cast<time_t>(left.count() / 1000000), static_cast<suseconds_t>(left.count() % 1000000)};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return errno;
        return 0;
    }

    // The reply to the request, or nothing where the server did not give
    // one in time or closed first (`timed_out` says which).
    std::optional<ReplyBlock> exchange(bool& timed_out, bool& not_brevalt) {
        timed_out = false;
        not_brevalt = false;
        std::size_t end = 0;
        while ((end = buffer_.find('\n')) == std::string::npos) {
            if (!receive(timed_out)) return std::nullopt;
        }
        if (!greeting_version(std::string_view(buffer_).substr(0, end))) {
            not_brevalt = true;
            return std::nullopt;
        }
        buffer_.erase(0, end + 1);
        // A server that turned this client away has closed already: its
        // answer is in the buffer whatever becomes of this line.
        const std::string line = std::string(request_name(request_)) + "\n";
        (void)::send(fd_, line.data(), line.size(), MSG_NOSIGNAL);
        for (;;) {
            if (std::optional<ReplyBlock> block = take_reply_block(buffer_)) return block;
            if (!receive(timed_out)) return std::nullopt;
        }
    }

private:
    bool receive(bool& timed_out) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
            if (left <= 0) {
                timed_out = true;
                return false;
            }
            pollfd ready{fd_, POLLIN, 0};
            const int count = ::poll(&ready, 1, static_cast<int>(left));
            if (count < 0 && errno != EINTR) return false;
            if (count <= 0) continue;
            char chunk[4096];
            const ssize_t got = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            // ECONNRESET comes after the last byte where the server closed
            // on a request it never read: the end, as EOF is.
            if (got <= 0) return false;
            buffer_.append(chunk, static_cast<std::size_t>(got));
            return true;
        }
    }

    ControlRequest request_;
    std::string path_;
    Clock::time_point deadline_;
    int fd_ = -1;
    std::string buffer_;
};

std::string not_permitted_text(ControlRequest request, const std::string& path) {
    if (path == k_machine_socket) {
        return std::string("brevalt: only members of the group ") + k_operators_group + " may " + deed(request) + "\n";
    }
    return "brevalt: only the user of the Brevalt at " + path + " may " + deed(request) + "\n";
}

ClientAnswer answer_of(ControlRequest request, const std::string& path, const ReplyBlock& block) {
    const bool status = request == ControlRequest::status;
    const int not_done = status ? k_status_unknown : k_action_not_done;
    if (block.result == "denied") return {k_not_permitted, {}, not_permitted_text(request, path)};
    if (status && block.result == "ok" && block.request == "status") {
        if (const std::optional<ControlState> state = state_of(block)) {
            return {state->runs() ? k_status_running : k_status_not_running, state_lines(*state), {}};
        }
    }
    const std::string message = block.field("message");
    if (!status && block.request == request_name(request)) {
        if (block.result == "ok") return {k_action_done, message.empty() ? "" : message + "\n", {}};
        if (block.result == "refused" || block.result == "failed") {
            return {k_action_not_done, {}, "brevalt: " + (message.empty() ? block.result : message) + "\n"};
        }
    }
    return {not_done, {}, "brevalt: the Brevalt at " + path + " answered \"" + block.result + " " + block.request +
                              "\"" + (message.empty() ? "" : ": " + message) + "\n"};
}

}  // namespace

std::string state_lines(const ControlState& state) {
    std::string text;
    switch (state.sensor) {
        case SensorState::running:
            text = "Sensor running";
            if (state.pid) text += " (pid " + std::to_string(*state.pid) + ")";
            if (!state.since.empty()) text += " since " + state.since;
            break;
        case SensorState::stopped: text = "Sensor stopped"; break;
        case SensorState::ended: text = "Sensor ended by itself; started again at the next check"; break;
        case SensorState::start_failed: text = "Sensor could not be started"; break;
        case SensorState::given_up: text = "Sensor given up after quick ends in a row"; break;
        case SensorState::waiting: text = "Sensor served by another Brevalt: " + state.served_by; break;
        case SensorState::session_ended: text = "Sensor ended with the session"; break;
        case SensorState::exited: text = "Sensor left running, unwatched: Brevalt exited"; break;
    }
    text += "\n";
    text += state.next_rotation.empty() ? "No rotation is scheduled\n" : "Next rotation " + state.next_rotation + "\n";
    text += "Last rotation " + (state.last_rotation.empty() ? std::string("none yet") : state.last_rotation) + "\n";
    if (!state.last_failure.empty()) {
        text += "Last failure: " + state.last_failure;
        text += state.last_failure_at.empty() ? "\n" : " (" + state.last_failure_at + ")\n";
    }
    if (state.mode == "service") {
        text += "Served by the machine's service\n";
    } else if (!state.user.empty()) {
        text += "Served by " + state.user + "'s Brevalt\n";
    }
    return text;
}

ClientAnswer ask_brevalt(ControlRequest request, const std::vector<std::string>& sockets, int timeout_ms) {
    const bool status = request == ControlRequest::status;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (const std::string& path : sockets) {
        Conversation conversation(request, path, deadline);
        const int error = conversation.connect();
        // Nothing there, or a socket that no server holds any more.
        if (error == ENOENT || error == ENOTDIR || error == ECONNREFUSED) continue;
        if (error == EACCES || error == EPERM) return {k_not_permitted, {}, not_permitted_text(request, path)};
        bool timed_out = false;
        bool not_brevalt = false;
        std::optional<ReplyBlock> block;
        if (error == 0) block = conversation.exchange(timed_out, not_brevalt);
        if (block) return answer_of(request, path, *block);
        const int not_done = status ? k_status_unknown : k_action_not_done;
        if (timed_out || error == EAGAIN || error == EINPROGRESS) {
            return {not_done, {}, "brevalt: the Brevalt at " + path + " did not answer within " +
                                      std::to_string(timeout_ms / 1000) + " seconds\n"};
        }
        if (error != 0) {
            return {not_done, {}, "brevalt: cannot connect to " + path + ": " + std::strerror(error) + "\n"};
        }
        return {not_done, {},
                "brevalt: " + path + (not_brevalt ? " is no Brevalt's" : " closed without an answer") + "\n"};
    }
    std::string places;
    for (const std::string& path : sockets) places += (places.empty() ? "" : ", ") + path;
    return {status ? k_status_unknown : k_no_brevalt, {}, "brevalt: no Brevalt runs (looked at " + places + ")\n"};
}

}  // namespace brevalt
