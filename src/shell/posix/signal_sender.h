#pragma once

#include "app/operator_record.h"

namespace brevalt {

// Who sent a signal, by the numbers the kernel gave with it: the signal's
// name ("SIGHUP"), the process and its user's name (or the uid where the
// account has none).
SignalSender signal_sender(int signal_number, long sender_pid, unsigned sender_uid);

}  // namespace brevalt
