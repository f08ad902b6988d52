#include "session_end.h"

#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace {

constexpr int k_session_signals[] = {SIGTERM, SIGHUP, SIGINT};

// Written by the signal handler, read on the window's thread. One pipe per
// process: the handler can reach nothing else.
int signal_pipe[2] = {-1, -1};

// One signal and who sent it; smaller than the pipe's atomic write, so a
// record is never split.
struct SignalRecord {
    int number;
    pid_t sender_pid;
    uid_t sender_uid;
};

extern "C" void on_session_signal(int signal_number, siginfo_t* info, void* /*context*/) {
    const int saved = errno;
    const SignalRecord record{signal_number, info != nullptr ? info->si_pid : 0, info != nullptr ? info->si_uid : 0};
    [[maybe_unused]] const ssize_t written = ::write(signal_pipe[1], &record, sizeof record);
    errno = saved;
}

}  // namespace

SessionEnd::SessionEnd(QObject* parent) : QObject(parent) {
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        SignalRecord record{};
        while (::read(signal_pipe[0], &record, sizeof record) == static_cast<ssize_t>(sizeof record)) {
            emit signalled(record.number, record.sender_pid, record.sender_uid);
        }
    });
    struct sigaction action {};
    action.sa_sigaction = on_session_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    for (const int signal_number : k_session_signals) ::sigaction(signal_number, &action, nullptr);
}

SessionEnd::~SessionEnd() {
    // Back to the default: a signal after the window has gone ends the
    // process as it would any other.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int signal_number : k_session_signals) ::sigaction(signal_number, &action, nullptr);
}

void never_restart_with_session() {
    auto never = [](QSessionManager& manager) { manager.setRestartHint(QSessionManager::RestartNever); };
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp, never);
    QObject::connect(qApp, &QGuiApplication::saveStateRequest, qApp, never);
}
