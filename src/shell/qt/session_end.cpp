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

extern "C" void on_session_signal(int signal_number) {
    const int saved = errno;
    const char byte = static_cast<char>(signal_number);
    [[maybe_unused]] const ssize_t written = ::write(signal_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

SessionEnd::SessionEnd(QObject* parent) : QObject(parent) {
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signal_pipe[0], bytes, sizeof bytes) > 0) {
        }
        emit ended();
    });
    struct sigaction action {};
    action.sa_handler = on_session_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
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
