#include "keeping/posix/background_keeper.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

#include "keeping/posix/posix_log_folder.h"

namespace brevalt {
namespace {

constexpr int k_lowest_cpu_priority = 19;
// The kernel's I/O priority interface has no C library wrapper or header.
constexpr int k_ioprio_who_process = 1;
constexpr int k_ioprio_class_idle = 3;
constexpr int k_ioprio_class_shift = 13;
// The end of a session gives a program about five seconds in all, and the
// sensor's own stop comes first.
constexpr std::chrono::milliseconds k_stop_wait{3000};

// Only this thread: the window's thread keeps its priority. Where the
// system refuses, the pass runs all the same.
void lower_own_priority() {
    const pid_t thread = ::gettid();
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), k_lowest_cpu_priority);
    ::syscall(SYS_ioprio_set, k_ioprio_who_process, thread, k_ioprio_class_idle << k_ioprio_class_shift);
}

struct Pass {
    std::string folder;
    KeepSettings settings;
    std::vector<std::string> rotated;
};

}  // namespace

// What the window's thread and the worker share. The worker holds it too,
// so that one still inside a call when stop() gives up keeps what it uses.
struct BackgroundKeeper::Worker {
    explicit Worker(LogFolder* other_folder_ops) : folder_ops(other_folder_ops ? *other_folder_ops : own_folder_ops) {}
    void run();

    PosixLogFolder own_folder_ops;
    LogFolder& folder_ops;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable gone_signal;
    std::optional<Pass> pending;  // at most one: a newer request replaces it
    std::vector<KeepReport> reports;
    bool stopped = false;
    bool gone = false;
    std::atomic<bool> stopping{false};  // read by the pass between pieces of work
};

void BackgroundKeeper::Worker::run() {
    lower_own_priority();
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopped || pending.has_value(); });
        if (stopped) break;
        const Pass pass = std::move(*pending);
        pending.reset();
        lock.unlock();
        KeepReport report = keep_logs(folder_ops, pass.folder, pass.settings, stopping, pass.rotated);
        lock.lock();
        reports.push_back(std::move(report));
    }
    gone = true;
    gone_signal.notify_all();
}

BackgroundKeeper::BackgroundKeeper() : worker_(std::make_shared<Worker>(nullptr)) {}

BackgroundKeeper::BackgroundKeeper(LogFolder& folder_ops) : worker_(std::make_shared<Worker>(&folder_ops)) {}

BackgroundKeeper::~BackgroundKeeper() { stop(); }

void BackgroundKeeper::tidy(const std::string& folder, const KeepSettings& settings,
                            const std::vector<std::string>& rotated) {
    {
        const std::lock_guard lock(worker_->mutex);
        if (worker_->stopped) return;
        worker_->pending = Pass{folder, settings, newest_rotation(worker_->pending, rotated)};
        if (!thread_.joinable()) thread_ = std::thread([worker = worker_] { worker->run(); });
    }
    worker_->wake.notify_one();
}

void BackgroundKeeper::mark_rotation(const std::string& folder, const KeepSettings& settings,
                                     const std::vector<std::string>& rotated) {
    KeepReport report;
    report.mark_failures = brevalt::mark_rotation(worker_->folder_ops, folder, settings, rotated);
    if (report.mark_failures.empty()) return;
    const std::lock_guard lock(worker_->mutex);
    worker_->reports.push_back(std::move(report));
}

std::vector<KeepReport> BackgroundKeeper::take_reports() {
    const std::lock_guard lock(worker_->mutex);
    return std::exchange(worker_->reports, {});
}

void BackgroundKeeper::stop() {
    std::unique_lock lock(worker_->mutex);
    worker_->stopped = true;
    worker_->stopping = true;
    worker_->pending.reset();
    worker_->wake.notify_one();
    if (!thread_.joinable()) return;
    const bool gone = worker_->gone_signal.wait_for(lock, k_stop_wait, [this] { return worker_->gone; });
    lock.unlock();
    if (gone) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

}  // namespace brevalt
