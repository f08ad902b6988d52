#include "control/posix/control_server.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "control/protocol.h"

namespace brevalt {

namespace {

// A subscriber that stops reading is dropped once this much waits for it:
// it must neither hold the server up nor grow its memory.
constexpr std::size_t k_output_cap = 64 * 1024;
// Every connection costs a descriptor; beyond these a client is told the
// server is busy rather than let a loop of connects exhaust the process.
constexpr std::size_t k_max_connections = 128;
// Ticks a connection may stay open without a whole request, unless it
// subscribed: a client that connects and says nothing holds a slot.
constexpr int k_idle_ticks = 2;

std::string account_name(uid_t uid) {
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return std::to_string(uid);
}

// The peer's groups as the kernel recorded them at connect, primary included.
std::vector<gid_t> peer_groups(int fd, gid_t primary) {
    std::vector<gid_t> groups(64);
    for (int attempt = 0; attempt < 2; ++attempt) {
        socklen_t size = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) == 0) {
            groups.resize(size / sizeof(gid_t));
            groups.push_back(primary);
            return groups;
        }
        if (errno != ERANGE) break;
        groups.resize(size / sizeof(gid_t) + 1);
    }
    return {primary};
}

bool permitted(const ControlAccess& access, const ucred& peer, const std::vector<gid_t>& groups) {
    if (peer.uid == 0 || static_cast<long>(peer.uid) == access.owner_uid) return true;
    return access.group_gid >= 0 &&
           std::find(groups.begin(), groups.end(), static_cast<gid_t>(access.group_gid)) != groups.end();
}

// Said once, without waiting, to a connection that is closed at once: a
// fresh socket's buffer always holds a few lines.
void tell_and_close(int fd, const std::string& text) {
    (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

struct Connection {
    int fd = -1;
    ControlPeer peer;
    std::string input;
    std::string output;
    bool subscribed = false;
    bool reading = true;       // false once the client closed its side
    bool close_when_sent = false;
    bool doomed = false;       // closed at the end of the current call
    bool watching_output = false;
    int idle_ticks = 0;
    std::optional<ControlState> told;  // the last state this subscriber heard
};

class UnixControlServer final : public ControlServer {
public:
    UnixControlServer(int listener, int poller, std::string path, ino_t inode, ControlAccess access, ControlDesk& desk)
        : listener_(listener), poller_(poller), path_(std::move(path)), inode_(inode), access_(std::move(access)),
          desk_(desk) {}

    ~UnixControlServer() override {
        for (auto& [fd, connection] : connections_) forget(fd);
        ::close(listener_);
        ::close(poller_);
        // Only the socket this server made: a later server may have
        // replaced it already.
        struct stat now {};
        if (::lstat(path_.c_str(), &now) == 0 && S_ISSOCK(now.st_mode) && now.st_ino == inode_) {
            ::unlink(path_.c_str());
        }
    }

    [[nodiscard]] int descriptor() const override { return poller_; }

    void serve() override {
        ++depth_;
        epoll_event events[64];
        const int count = ::epoll_wait(poller_, events, 64, 0);
        for (int i = 0; i < count; ++i) {
            if (events[i].data.fd == listener_) {
                accept_all();
                continue;
            }
            const auto found = connections_.find(events[i].data.fd);
            if (found == connections_.end()) continue;
            Connection& connection = *found->second;
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) read_from(connection);
            if (events[i].events & EPOLLOUT) flush(connection);
            // The client is gone both ways: nobody reads what is left.
            if (events[i].events & (EPOLLHUP | EPOLLERR)) connection.doomed = true;
        }
        --depth_;
        sweep();
    }

    void publish(const ControlState& state) override {
        for (auto& [fd, connection] : connections_) {
            if (!connection->subscribed || connection->doomed || connection->told == state) continue;
            connection->told = state;
            send_to(*connection, state_reply("ok state", state));
        }
        sweep();
    }

    void on_tick() override {
        for (auto& [fd, connection] : connections_) {
            if (!connection->subscribed && ++connection->idle_ticks >= k_idle_ticks) connection->doomed = true;
        }
        if (listening_paused_) watch(listener_, EPOLL_CTL_ADD, EPOLLIN);
        listening_paused_ = false;
        sweep();
    }

private:
    void watch(int fd, int operation, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        ::epoll_ctl(poller_, operation, fd, &event);
    }

    void accept_all() {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors the listener stays readable: wait for a
                // tick rather than spin on it.
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    watch(listener_, EPOLL_CTL_DEL, 0);
                    listening_paused_ = true;
                }
                return;
            }
            if (connections_.size() >= k_max_connections) {
                tell_and_close(fd, greeting() + error_reply("busy: too many clients at once; try again"));
                continue;
            }
            ucred credentials{};
            socklen_t size = sizeof credentials;
            if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
                ::close(fd);
                continue;
            }
            if (!permitted(access_, credentials, peer_groups(fd, credentials.gid))) {
                tell_and_close(fd, greeting() + denied_reply(access_.refusal));
                continue;
            }
            auto connection = std::make_unique<Connection>();
            connection->fd = fd;
            connection->peer = {static_cast<long>(credentials.uid), static_cast<long>(credentials.pid),
                                account_name(credentials.uid)};
            watch(fd, EPOLL_CTL_ADD, EPOLLIN);
            Connection& added = *connection;
            connections_.emplace(fd, std::move(connection));
            send_to(added, greeting());
        }
    }

    void read_from(Connection& connection) {
        if (!connection.reading || connection.doomed) return;
        char buffer[4096];
        // A bounded share per call: a client that writes without end does
        // not starve the others; the poller brings the rest back.
        for (int round = 0; round < 4 && !connection.doomed && !connection.close_when_sent; ++round) {
            const ssize_t got = ::recv(connection.fd, buffer, sizeof buffer, 0);
            if (got < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) connection.doomed = true;
                return;
            }
            if (got == 0) {
                stop_reading(connection);
                return;
            }
            connection.input.append(buffer, static_cast<std::size_t>(got));
            take_requests(connection);
        }
    }

    void take_requests(Connection& connection) {
        std::size_t end = 0;
        while (!connection.doomed && !connection.close_when_sent &&
               (end = connection.input.find('\n')) != std::string::npos) {
            if (end > k_max_request_line) break;
            const std::string line = connection.input.substr(0, end);
            connection.input.erase(0, end + 1);
            connection.idle_ticks = 0;
            answer(connection, line);
        }
        // What is left is a line still to come, which may not grow past the
        // longest request: nobody's garbage is kept.
        const std::size_t waiting = std::min(connection.input.size(), end);
        if (!connection.doomed && !connection.close_when_sent && waiting > k_max_request_line) {
            connection.input.clear();
            send_to(connection, error_reply("request longer than " + std::to_string(k_max_request_line) + " bytes"));
            finish(connection);
        }
    }

    void answer(Connection& connection, const std::string& line) {
        const std::optional<ControlRequest> request = parse_request(line);
        if (!request) {
            send_to(connection, error_reply("unknown request; known: status, start, stop, rotate, subscribe"));
            return;
        }
        switch (*request) {
            case ControlRequest::status:
                send_to(connection, state_reply("ok status", desk_.state()));
                return;
            case ControlRequest::subscribe: {
                connection.subscribed = true;
                send_to(connection, subscribed_reply());
                const ControlState state = desk_.state();
                connection.told = state;
                send_to(connection, state_reply("ok state", state));
                return;
            }
            case ControlRequest::start:
            case ControlRequest::stop:
            case ControlRequest::rotate:
                send_to(connection, outcome_reply(*request, desk_.act(*request, connection.peer)));
                return;
        }
    }

    // The client closed its side: a subscriber may still read; anyone else
    // is answered and closed.
    void stop_reading(Connection& connection) {
        connection.reading = false;
        watch(connection.fd, EPOLL_CTL_MOD, connection.watching_output ? std::uint32_t{EPOLLOUT} : 0U);
        if (!connection.subscribed) finish(connection);
    }

    void finish(Connection& connection) {
        connection.close_when_sent = true;
        if (connection.output.empty()) connection.doomed = true;
    }

    void send_to(Connection& connection, const std::string& text) {
        if (connection.doomed) return;
        if (connection.output.size() + text.size() > k_output_cap) {
            connection.doomed = true;
            return;
        }
        connection.output += text;
        flush(connection);
    }

    void flush(Connection& connection) {
        while (!connection.output.empty() && !connection.doomed) {
            const ssize_t sent =
                ::send(connection.fd, connection.output.data(), connection.output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) {
                if (errno == EINTR) continue;
                // EPIPE, ECONNRESET: the client went, which ends this
                // connection and nothing else.
                if (errno != EAGAIN && errno != EWOULDBLOCK) connection.doomed = true;
                break;
            }
            connection.output.erase(0, static_cast<std::size_t>(sent));
        }
        if (connection.doomed) return;
        const bool pending = !connection.output.empty();
        if (!pending && connection.close_when_sent) {
            connection.doomed = true;
            return;
        }
        if (pending != connection.watching_output) {
            connection.watching_output = pending;
            watch(connection.fd, EPOLL_CTL_MOD, (connection.reading ? std::uint32_t{EPOLLIN} : 0U) | (pending ? std::uint32_t{EPOLLOUT} : 0U));
        }
    }

    // Out of the poller first: a copy of the descriptor in a forked child
    // would keep it there after the close.
    void forget(int fd) {
        ::epoll_ctl(poller_, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
    }

    // Connections are closed only at the end of the outermost call: a desk
    // that publishes from inside act() must not pull one out from under
    // the request being answered.
    void sweep() {
        if (depth_ > 0) return;
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->second->doomed) {
                forget(it->first);
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }

    int listener_;
    int poller_;
    std::string path_;
    ino_t inode_;
    ControlAccess access_;
    ControlDesk& desk_;
    std::unordered_map<int, std::unique_ptr<Connection>> connections_;
    bool listening_paused_ = false;
    int depth_ = 0;
};

}  // namespace

std::unique_ptr<ControlServer> ControlServer::listen(const std::string& path, unsigned mode, ControlAccess access,
                                                     ControlDesk& desk, SysResult& result) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        result = SysResult::failure("bind", ENAMETOOLONG);
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // An old socket is a server that ended without removing it; anything
    // else at the path (a file, a link planted there) is never touched.
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            result = SysResult::failure("lstat", EEXIST);
            return nullptr;
        }
        if (::unlink(path.c_str()) != 0) {
            result = SysResult::failure("unlink", errno);
            return nullptr;
        }
    }
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        result = SysResult::failure("socket", errno);
        return nullptr;
    }
    const auto fail = [&](const char* call) {
        result = SysResult::failure(call, errno);
        ::close(listener);
        return nullptr;
    };
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return fail("bind");
    struct stat made {};
    // The mode is set before anyone can connect; the peer's credentials
    // are checked on every connection all the same.
    if (::chmod(path.c_str(), mode) != 0 || ::lstat(path.c_str(), &made) != 0) return fail("chmod");
    if (::listen(listener, SOMAXCONN) != 0) return fail("listen");
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    if (poller < 0) return fail("epoll_create1");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener;
    if (::epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event) != 0) {
        ::close(poller);
        return fail("epoll_ctl");
    }
    result = SysResult::success();
    return std::make_unique<UnixControlServer>(listener, poller, path, made.st_ino, std::move(access), desk);
}

}  // namespace brevalt
