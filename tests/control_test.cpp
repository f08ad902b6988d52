// The control channel: its words, the Unix-socket server with real sockets,
// and `brevalt status|start|stop|rotate` against it.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <future>
#include <vector>

#include "control/posix/control_client.h"
#include "control/posix/control_server.h"
#include "control/protocol.h"
#include "fakes.h"

namespace brevalt {
namespace {

ControlState running_state() {
    ControlState state;
    state.sensor = SensorState::running;
    state.pid = 4711;
    state.since = "2026-12-08 03:30:00";
    state.rotation_time = "03:30";
    state.next_rotation = "2026-12-09 03:30";
    state.mode = "session";
    state.user = "alice";
    return state;
}

TEST(ControlProtocol, StateSurvivesTheWireWithValuesKeptOnOneLine) {
    ControlState state = running_state();
    state.last_failure = "sensor ended\r\nsensor: forged-key: 1";
    state.last_failure_at = "2026-12-08 09:00";
    std::string wire = state_reply("ok status", state);
    wire.insert(wire.find("since:"), "key-of-a-later-version: x\n");
    wire += "ok state\nsensor: stopped\n";  // the next block, still arriving
    const std::optional<ReplyBlock> block = take_reply_block(wire);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->result + " " + block->request, "ok status");
    state.last_failure = "sensor ended  sensor: forged-key: 1";
    EXPECT_EQ(state_of(*block), state);
    EXPECT_EQ(wire, "ok state\nsensor: stopped\n") << "only the whole first block is taken";
    EXPECT_FALSE(take_reply_block(wire)) << "a block without its empty line is not yet one";
    ControlState stopped;
    std::string never = state_reply("ok state", stopped);
    EXPECT_NE(never.find("next-rotation: never\n"), std::string::npos) << never;
    EXPECT_EQ(never.find("pid"), std::string::npos) << never;
    EXPECT_EQ(state_of(*take_reply_block(never)), stopped);
}

TEST(ControlProtocol, RequestsAreExactWordsAndGreetingsNameBrevalt) {
    EXPECT_EQ(parse_request("status"), ControlRequest::status);
    EXPECT_EQ(parse_request(" \tsubscribe \r"), ControlRequest::subscribe);
    for (const char* bad : {"Status", "stop now", "", "\r", "rotate\r\r", "start\n"}) EXPECT_FALSE(parse_request(bad)) << bad;
    EXPECT_EQ(greeting_version(greeting()), 1);
    EXPECT_FALSE(greeting_version("snort 1"));
    EXPECT_FALSE(greeting_version("brevalt one"));
}

class FakeDesk : public ControlDesk {
public:
    ControlState now = running_state();
    ControlOutcome outcome{ControlOutcome::Result::done, "sensor stopped"};
    std::vector<std::pair<ControlRequest, ControlPeer>> asked;
    ControlState state() override { return now; }
    ControlOutcome act(ControlRequest request, const ControlPeer& peer) override {
        asked.emplace_back(request, peer);
        return outcome;
    }
};

class ControlServerTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = test::utf8(dir / "brevalt.sock");
    FakeDesk desk;
    SysResult result;
    std::unique_ptr<ControlServer> server = ControlServer::listen(path, 0666, {static_cast<long>(::getuid()), -1, "only alice may"}, desk, result);
    std::vector<int> clients;

    void TearDown() override {
        for (const int fd : clients) ::close(fd);
    }
    int connect_client() {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::strcpy(address.sun_path, path.c_str());
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
        clients.push_back(fd);
        return fd;
    }
    void say(int fd, const std::string& text) { ASSERT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size())); }
    // Serves until `fd` has more to read or is closed; the text read, with
    // "<EOF>" at the end where the server closed it.
    std::string read_some(int fd) {
        for (;;) {
            server->serve();
            char chunk[8192];
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got > 0) return std::string(chunk, static_cast<std::size_t>(got));
            if (got == 0 || (got < 0 && errno == ECONNRESET)) return "<EOF>";
            pollfd ready[] = {{server->descriptor(), POLLIN, 0}, {fd, POLLIN, 0}};
            if (::poll(ready, 2, 60000) == 0) return "<the server never answered>";
        }
    }
    std::string read_until(int fd, const std::string& end) {
        std::string text;
        while (text.find(end) == std::string::npos && text.find("<") == std::string::npos) text += read_some(fd);
        return text;
    }
    ClientAnswer ask(ControlRequest request, std::vector<std::string> sockets, int timeout_ms = 20000) {
        std::future<ClientAnswer> answer = std::async(std::launch::async, ask_brevalt, request, sockets, timeout_ms);
        while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            pollfd ready{server->descriptor(), POLLIN, 0};
            ::poll(&ready, 1, 50);
            server->serve();
        }
        return answer.get();
    }
    // The client run by a user who is neither root nor the server's.
    ClientAnswer ask_as_stranger(ControlRequest request) {
        ::chmod(dir.path().c_str(), 0755);
        int text[2];
        EXPECT_EQ(::pipe(text), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
            const ClientAnswer answer = ask_brevalt(request, {path}, 20000);
            const std::string said = answer.out + "|" + answer.err;
            (void)!::write(text[1], said.data(), said.size());
            ::_exit(answer.status);
        }
        ::close(text[1]);
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            pollfd ready{server->descriptor(), POLLIN, 0};
            ::poll(&ready, 1, 50);
            server->serve();
        }
        char said[1024];
        const ssize_t got = ::read(text[0], said, sizeof said);
        ::close(text[0]);
        const std::string both(said, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        return {WEXITSTATUS(status), both.substr(0, both.find('|')), both.substr(both.find('|') + 1)};
    }
};

TEST_F(ControlServerTest, AnswersEachRequestAndTellsTheDeskWhoAsked) {
    ASSERT_TRUE(server) << result.failed_call;
    const int gone = connect_client();  // its answer meets a closed socket: EPIPE, no SIGPIPE
    say(gone, "status\n");
    ::shutdown(gone, SHUT_RDWR);
    const int fd = connect_client();
    EXPECT_EQ(read_until(fd, "\n"), "brevalt 1\n");
    say(fd, "sta");
    server->serve();  // a half line waits for the rest
    say(fd, "tus\r\nbogus\nstop\n");
    const std::string replies = read_until(fd, "ok stop\nmessage: sensor stopped\n\n");
    EXPECT_EQ(replies, state_reply("ok status", desk.now) +
                           "error request\nmessage: unknown request; known: status, start, stop, rotate, subscribe\n\n" +
                           "ok stop\nmessage: sensor stopped\n\n");
    ASSERT_EQ(desk.asked.size(), 1U);
    EXPECT_EQ(desk.asked[0].first, ControlRequest::stop);
    EXPECT_EQ(desk.asked[0].second.uid, static_cast<long>(::getuid())) << "the kernel's word, not the client's";
    EXPECT_EQ(desk.asked[0].second.pid, static_cast<long>(::getpid()));
    say(fd, std::string(300, 'x'));
    EXPECT_EQ(read_until(fd, "<EOF>"), "error request\nmessage: request longer than 256 bytes\n\n<EOF>");
}

TEST_F(ControlServerTest, SubscribersHearEachChangeOnceAndIdleClientsAreClosed) {
    const int subscriber = connect_client();
    const int idle = connect_client();
    say(subscriber, "subscribe\n");
    EXPECT_EQ(read_until(subscriber, "user: alice\n\n"), "brevalt 1\nok subscribe\n\n" + state_reply("ok state", desk.now));
    server->publish(desk.now);
    ControlState changed = desk.now;
    changed.sensor = SensorState::ended;
    changed.pid.reset();
    server->publish(changed);
    server->publish(changed);
    say(subscriber, "status\n");
    const std::string told = state_reply("ok state", changed) + "ok status";
    EXPECT_EQ(read_until(subscriber, "ok status").substr(0, told.size()), told);
    server->on_tick();
    server->on_tick();
    EXPECT_EQ(read_until(idle, "<EOF>"), "brevalt 1\n<EOF>");
    say(subscriber, "status\n");
    EXPECT_NE(read_until(subscriber, "user: alice\n\n").find("ok status"), std::string::npos) << "a subscriber stays";
}

TEST_F(ControlServerTest, ASubscriberThatNeverReadsIsDroppedWhileOthersAreServed) {
    const int stuck = connect_client();
    say(stuck, "subscribe\n");
    read_until(stuck, "\n");  // the greeting: from here on it reads nothing
    ControlState state = desk.now;
    bool dropped = false;
    for (long change = 0; change < 100000 && !dropped; ++change) {
        state.pid = change;
        server->publish(state);
        server->serve();
        pollfd hang_up{stuck, POLLRDHUP, 0};
        dropped = ::poll(&hang_up, 1, 0) == 1;
    }
    EXPECT_TRUE(dropped) << "its output would grow without end";
    const int other = connect_client();
    say(other, "status\n");
    EXPECT_NE(read_until(other, "\n\n").find("ok status"), std::string::npos);
}

TEST_F(ControlServerTest, AHundredClientsAtOnceAreServedAndMoreAreToldItIsBusy) {
    for (int i = 0; i < 130; ++i) say(connect_client(), "status\n");
    int served = 0;
    int busy = 0;
    for (const int fd : clients) {
        const std::string text = read_until(fd, "\n\n");
        served += text.find("ok status") != std::string::npos;
        busy += text.find("error request\nmessage: busy") != std::string::npos;
    }
    EXPECT_EQ(served, 128);
    EXPECT_EQ(busy, 2);
}

TEST_F(ControlServerTest, ReplacesAnOldSocketAndNothingElse) {
    server.reset();
    const int old = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(old, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(old);
    server = ControlServer::listen(path, 0660, {}, desk, result);
    ASSERT_TRUE(server) << result.failed_call;
    struct stat made {};
    ASSERT_EQ(::stat(path.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0660U);
    server.reset();
    test::write_file(dir / "brevalt.sock", "not a socket");
    EXPECT_FALSE(ControlServer::listen(path, 0660, {}, desk, result));
    ::symlink("/run/elsewhere", (dir / "link.sock").c_str());
    EXPECT_FALSE(ControlServer::listen(test::utf8(dir / "link.sock"), 0660, {}, desk, result));
    EXPECT_EQ(test::read_file(dir / "brevalt.sock"), "not a socket");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.sock"));
}

TEST_F(ControlServerTest, ClientExitsAsSystemctlDoes) {
    ClientAnswer status = ask(ControlRequest::status, {path});
    EXPECT_EQ(status.status, 0) << status.err;
    EXPECT_EQ(status.out, "Sensor running (pid 4711) since 2026-12-08 03:30:00\nNext rotation 2026-12-09 03:30\n"
                          "Last rotation none yet\nServed by alice's Brevalt\n");
    desk.now.sensor = SensorState::stopped;
    EXPECT_EQ(ask(ControlRequest::status, {path}).status, 3);
    EXPECT_EQ(ask(ControlRequest::stop, {path}).out, "sensor stopped\n");
    desk.outcome = {ControlOutcome::Result::refused, "no sensor runs"};
    const ClientAnswer refused = ask(ControlRequest::stop, {path});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "brevalt: no sensor runs\n");
    // A socket no server holds (ECONNREFUSED) and a missing one are passed
    // over for the next place.
    const std::string stale = test::utf8(dir / "stale.sock");
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, stale.c_str());
    ASSERT_EQ(::bind(left, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(ask(ControlRequest::rotate, {test::utf8(dir / "none.sock"), stale, path}).status, 1);
    EXPECT_EQ(ask(ControlRequest::stop, {stale}).status, 7);
    EXPECT_EQ(ask(ControlRequest::status, {stale}).status, 4);
    // One that listens and never answers.
    ASSERT_EQ(::listen(left, 1), 0);
    EXPECT_EQ(ask(ControlRequest::status, {stale}, 100).status, 4);
    EXPECT_EQ(ask(ControlRequest::stop, {stale}, 100).status, 1);
    ::close(left);
}

TEST_F(ControlServerTest, AStrangerLearnsOnlyThatItIsNotPermitted) {
    server = ControlServer::listen(path, 0666, {::getuid() == 4242 ? 4243L : 4242L, -1, "only alice may"}, desk, result);
    const std::string not_permitted = "brevalt: only the user of the Brevalt at " + path + " may stop the sensor\n";
    const ClientAnswer denied = ask_as_stranger(ControlRequest::stop);
    EXPECT_EQ(denied.status, 4);
    EXPECT_EQ(denied.out + denied.err, not_permitted);
    EXPECT_TRUE(desk.asked.empty());
    ::chmod(path.c_str(), 0);
    const ClientAnswer no_access = ask_as_stranger(ControlRequest::stop);
    EXPECT_EQ(no_access.status, 4);
    EXPECT_EQ(no_access.out + no_access.err, not_permitted) << "EACCES on connect";
    const long stranger_group = ::getuid() == 0 ? 65534 : static_cast<long>(::getgid());
    server = ControlServer::listen(path, 0666, {4242, stranger_group, "only alice may"}, desk, result);
    EXPECT_EQ(ask_as_stranger(ControlRequest::status).status, 0) << "a member of the operators' group";
}

}  // namespace
}  // namespace brevalt
