#include "keeping/posix/background_keeper.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>

namespace brevalt {
namespace {

constexpr int k_lowest_cpu_priority = 19;
// The kernel's I/O priority interface has no C library wrapper or header.
constexpr int k_ioprio_who_process = 1;
constexpr int k_ioprio_class_idle = 3;
constexpr int k_ioprio_class_shift = 13;

// Only this thread: the window's thread keeps its priority. Where the
// system refuses, the pass runs all the same.
void lower_own_priority() {
    const pid_t thread = ::gettid();
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), k_lowest_cpu_priority);
    ::syscall(SYS_ioprio_set, k_ioprio_who_process, thread, k_ioprio_class_idle << k_ioprio_class_shift);
}

}  // namespace

void BackgroundKeeper::tidy(const std::string& folder, const KeepSettings& settings,
                            const std::vector<std::string>& rotated) {
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) return;
        pending_ = Pass{folder, settings, newest_rotation(pending_, rotated)};
        if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    }
    wake_.notify_one();
}

std::vector<KeepReport> BackgroundKeeper::take_reports() {
    const std::lock_guard lock(mutex_);
    return std::exchange(reports_, {});
}

void BackgroundKeeper::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        stopping_ = true;
        pending_.reset();
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

void BackgroundKeeper::work() {
    lower_own_priority();
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopped_ || pending_.has_value(); });
        if (stopped_) return;
        const Pass pass = std::move(*pending_);
        pending_.reset();
        lock.unlock();
        KeepReport report = keep_logs(folder_ops_, pass.folder, pass.settings, stopping_, pass.rotated);
        lock.lock();
        reports_.push_back(std::move(report));
    }
}

}  // namespace brevalt
