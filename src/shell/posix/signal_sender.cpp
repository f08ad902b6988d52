#include "shell/posix/signal_sender.h"

#include <pwd.h>

#include <csignal>
#include <cstring>
#include <string>

namespace brevalt {

SignalSender signal_sender(int signal_number, long sender_pid, unsigned sender_uid) {
    SignalSender sender;
    const char* name = ::sigabbrev_np(signal_number);
    sender.signal = name != nullptr ? std::string("SIG") + name : "signal " + std::to_string(signal_number);
    sender.pid = sender_pid;
    const passwd* user = ::getpwuid(static_cast<uid_t>(sender_uid));
    sender.user = user != nullptr ? user->pw_name : "uid " + std::to_string(sender_uid);
    return sender;
}

}  // namespace brevalt
