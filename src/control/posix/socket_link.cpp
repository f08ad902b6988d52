#include "control/posix/socket_link.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "control/posix/control_client.h"
#include "control/protocol.h"

namespace brevalt {

namespace {

// "brevalt: only members of ...\n" as a sentence of its own.
std::string sentence(std::string text) {
    if (text.rfind("brevalt: ", 0) == 0) text.erase(0, 9);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

void SocketLink::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    greeted_ = false;
    buffer_.clear();
}

namespace {

// A connected socket, or -1 with errno.
int connect_to(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

bool SocketLink::listened_at(const std::string& path) {
    const int fd = connect_to(path);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    // A full queue is a server too; only nothing there, or a socket nobody
    // holds, is none.
    return errno == EACCES || errno == EAGAIN;
}

bool SocketLink::subscribe() {
    close();
    fd_ = connect_to(path_);
    if (fd_ < 0) {
        why_ = path_ + ": " + std::strerror(errno);
        return false;
    }
    // The request waits in the socket for the server to read it after its
    // greeting; a server gone meanwhile shows as the connection's end.
    const char request[] = "subscribe\n";
    if (::send(fd_, request, sizeof request - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request - 1)) {
        why_ = path_ + ": " + std::strerror(errno);
        close();
        return false;
    }
    return true;
}

std::optional<std::intptr_t> SocketLink::handle() const {
    if (fd_ < 0) return std::nullopt;
    return fd_;
}

ControlLink::Arrived SocketLink::take() {
    Arrived arrived;
    if (fd_ < 0) {
        arrived.lost = true;
        return arrived;
    }
    for (;;) {
        char chunk[4096];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        arrived.lost = true;
        why_ = got == 0 ? path_ + ": the service closed the connection" : path_ + ": " + std::strerror(errno);
        break;
    }
    if (!greeted_) {
        const std::size_t end = buffer_.find('\n');
        if (end == std::string::npos) {
            if (arrived.lost) close();
            return arrived;
        }
        if (!greeting_version(std::string_view(buffer_).substr(0, end))) {
            why_ = path_ + " is no Brevalt's";
            close();
            arrived.lost = true;
            return arrived;
        }
        buffer_.erase(0, end + 1);
        greeted_ = true;
    }
    while (std::optional<ReplyBlock> block = take_reply_block(buffer_)) {
        if (block->result == "ok" && block->request == "state") {
            if (std::optional<ControlState> state = state_of(*block)) arrived.states.push_back(std::move(*state));
        } else if (block->result != "ok") {
            // Refused, or not understood: this connection follows nothing.
            why_ = block->field("message").empty() ? block->result + " " + block->request : block->field("message");
            arrived.lost = true;
        }
    }
    if (arrived.lost) close();
    return arrived;
}

ControlAnswer SocketLink::act(ControlRequest request) {
    const ClientAnswer asked = ask_brevalt(request, {path_});
    ControlAnswer answer;
    switch (asked.status) {
    case k_action_done:
        answer.kind = ControlAnswer::Kind::answered;
        answer.outcome = {ControlOutcome::Result::done, sentence(asked.out)};
        break;
    case k_action_not_done:
        answer.kind = ControlAnswer::Kind::answered;
        answer.outcome = {ControlOutcome::Result::failed, sentence(asked.err)};
        break;
    case k_not_permitted:
        answer.kind = ControlAnswer::Kind::denied;
        answer.reason = sentence(asked.err);
        break;
    default:
        answer.kind = ControlAnswer::Kind::unreachable;
        answer.reason = sentence(asked.err);
        break;
    }
    return answer;
}

}  // namespace brevalt
