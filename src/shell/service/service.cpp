#include "shell/service/service.h"

#include <grp.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/control_desk.h"
#include "app/core.h"
#include "control/posix/control_server.h"
#include "control/posix/socket_link.h"
#include "control/posix/socket_places.h"
#include "shell/posix/signal_sender.h"

namespace brevalt {

namespace {

// What the core asks of a shell, where there is nobody to see it: the
// state goes to systemd in words, every notification is in the system log
// already, and the tick is a timer descriptor the loop polls.
class ServiceShell final : public Shell {
public:
    ServiceShell() : tick_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {}
    ~ServiceShell() override {
        if (tick_ >= 0) ::close(tick_);
    }
    ServiceShell(const ServiceShell&) = delete;
    ServiceShell& operator=(const ServiceShell&) = delete;

    void show_rotation_time(std::string_view) override {}
    void show_clock(std::string_view) override {}
    void start_tick_timer(unsigned interval_ms) override {
        itimerspec every{};
        every.it_interval.tv_sec = interval_ms / 1000;
        every.it_interval.tv_nsec = static_cast<long>(interval_ms % 1000) * 1000000L;
        every.it_value = every.it_interval;
        ::timerfd_settime(tick_, 0, &every, nullptr);
    }
    void hide_icon_picture() override {}
    void prepare_icon() override {}
    void hide_window() override {}
    // No notification area: the core then keeps the window "shown", which
    // here is nothing, and tells what it would have shown to the system log.
    bool register_icon() override { return false; }
    void show_window() override {}
    void notify(std::string_view) override {}
    void end_program() override { ended_ = true; }
    std::string text_form(TextId) override { return {}; }
    // "systemctl status brevalt": "sensor running since 03:30, next rotation 03:30".
    void show_sensor_state(bool, std::string_view tooltip) override {
        constexpr std::string_view program = "Brevalt: ";
        if (tooltip.substr(0, program.size()) == program) tooltip.remove_prefix(program.size());
        status_ = std::string(tooltip);
        ::sd_notifyf(0, "STATUS=%s", status_.c_str());
    }
    void watch_sensor_end(std::optional<std::intptr_t> handle) override {
        sensor_end_ = handle ? static_cast<int>(*handle) : -1;
    }

    [[nodiscard]] int tick_descriptor() const { return tick_; }
    [[nodiscard]] int sensor_end_descriptor() const { return sensor_end_; }
    [[nodiscard]] bool ended() const { return ended_; }

private:
    int tick_;
    int sensor_end_ = -1;
    bool ended_ = false;
    std::string status_;
};

// The signals systemd and operators send, taken from a descriptor rather
// than a handler, so that each is answered on the loop with who sent it.
// The sensor is started with every signal unblocked and at its default.
int signal_descriptor() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal_number);
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return -1;
    return ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

ControlAccess operators_access() {
    ControlAccess access;
    access.owner_uid = static_cast<long>(::getuid());
    if (const group* operators = ::getgrnam(k_operators_group)) access.group_gid = static_cast<long>(operators->gr_gid);
    access.refusal = std::string("only members of the group ") + k_operators_group +
                     " may ask the machine's Brevalt about the sensor or act on it";
    return access;
}

}  // namespace

bool machine_service_enabled() {
    return ::sd_booted() > 0 && ::access("/etc/systemd/system/multi-user.target.wants/brevalt.service", F_OK) == 0;
}

bool machine_service_present() {
    return machine_service_enabled() || SocketLink::listened_at(k_machine_socket);
}

bool machine_service_turned_off() {
    return ::sd_booted() > 0 && !machine_service_enabled() && !SocketLink::listened_at(k_machine_socket);
}

int run_service(SystemPlatform& platform, Sensor& sensor, LogKeeper& keeper, MetricsWriter& metrics_writer) {
    // Standard error is the journal already, which takes the system log too.
    platform.echo_to_stderr = false;
    const int signals = signal_descriptor();
    if (signals < 0) {
        platform.log_event(Priority::err, "Brevalt could not take its signals: " + platform.error_text(errno));
        return k_startup_error_status;
    }
    ServiceShell shell;
    Core core(shell, platform, sensor, keeper, metrics_writer, k_settings_file_name);
    CoreDesk desk(core, "service", platform.user_name());
    if (const std::optional<StartupError> error = core.start_up()) {
        ::sd_notifyf(0, "STATUS=%s", error->message.c_str());
        return k_startup_error_status;
    }
    SysResult listened;
    const std::string socket_path = k_machine_socket;
    std::unique_ptr<ControlServer> channel = ControlServer::listen(socket_path, 0660, operators_access(), desk, listened);
    if (channel) {
        desk.follow_with(channel.get());
    } else {
        core.tell_channel_failure(socket_path, listened);
    }
    ::sd_notify(0, "READY=1");

    while (!shell.ended()) {
        pollfd watched[4] = {{signals, POLLIN, 0},
                             {shell.tick_descriptor(), POLLIN, 0},
                             {shell.sensor_end_descriptor(), POLLIN, 0},
                             {channel ? channel->descriptor() : -1, POLLIN, 0}};
        if (::poll(watched, 4, -1) < 0) {
            if (errno == EINTR) continue;
            platform.log_event(Priority::err, "Brevalt's service loop failed: " + platform.error_text(errno));
            core.end_session();
            return 1;
        }
        if ((watched[1].revents & POLLIN) != 0) {
            std::uint64_t expirations = 0;
            if (::read(shell.tick_descriptor(), &expirations, sizeof expirations) > 0) {
                core.on_tick();
                if (channel) channel->on_tick();
                // Fed at each tick, so that a Brevalt hung inside one is restarted.
                ::sd_notify(0, "WATCHDOG=1");
            }
        }
        if ((watched[2].revents & (POLLIN | POLLHUP)) != 0) core.on_sensor_end_seen();
        if (channel && (watched[3].revents & POLLIN) != 0) channel->serve();
        signalfd_siginfo received{};
        while (::read(signals, &received, sizeof received) == static_cast<ssize_t>(sizeof received)) {
            const SignalSender sender = signal_sender(static_cast<int>(received.ssi_signo),
                                                      static_cast<long>(received.ssi_pid), received.ssi_uid);
            if (received.ssi_signo == SIGHUP) {
                ::sd_notify(0, "RELOADING=1");
                core.reload_settings(sender);
                ::sd_notify(0, "READY=1");
            } else {
                ::sd_notify(0, "STOPPING=1");
                core.end_session(sender);
                break;
            }
        }
    }
    return 0;
}

}  // namespace brevalt
