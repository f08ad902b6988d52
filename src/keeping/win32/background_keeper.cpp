#include "keeping/win32/background_keeper.h"

#include <windows.h>

#include <atomic>
#include <optional>
#include <utility>

#include "keeping/win32/win32_log_folder.h"
#include "sensor/win32/owned_handle.h"

namespace brevalt {

namespace {

// The end of a session gives a program about five seconds in all.
constexpr DWORD k_stop_wait_ms = 3000;

class Locked {
public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ::ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& lock_;
};

struct Pass {
    std::string folder;
    KeepSettings settings;
    std::vector<std::string> rotated;
};

}  // namespace

// What the window's thread and the worker share. It lives on the heap so
// that a worker still inside a compression when stop() gives up can keep it.
struct BackgroundKeeper::Worker {
    explicit Worker(LogFolder* other_folder_ops) : folder_ops(other_folder_ops ? *other_folder_ops : own_folder_ops) {}

    SysResult start();
    static DWORD WINAPI run(void* self);

    Win32LogFolder own_folder_ops;
    LogFolder& folder_ops;
    std::atomic<bool> stop{false};
    win32::OwnedHandle wake;  // auto-reset: set once per pass asked for
    win32::OwnedHandle thread;
    SRWLOCK lock = SRWLOCK_INIT;  // over `pending` and `reports`
    std::optional<Pass> pending;
    std::vector<KeepReport> reports;
};

SysResult BackgroundKeeper::Worker::start() {
    // Neither handle is inheritable: the sensor is started with inheritance on.
    wake = win32::OwnedHandle(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake) return SysResult::failure("CreateEventW", static_cast<int>(::GetLastError()));
    thread = win32::OwnedHandle(::CreateThread(nullptr, 0, &Worker::run, this, 0, nullptr));
    if (!thread) return SysResult::failure("CreateThread", static_cast<int>(::GetLastError()));
    return SysResult::success();
}

DWORD WINAPI BackgroundKeeper::Worker::run(void* self) {
    Worker& worker = *static_cast<Worker*>(self);
    // Low CPU and I/O priority, so that the sensor's writes and the window
    // go first. Where the system refuses, the pass runs all the same.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
    while (::WaitForSingleObject(worker.wake.get(), INFINITE) == WAIT_OBJECT_0 && !worker.stop.load()) {
        std::optional<Pass> pass;
        {
            const Locked locked(worker.lock);
            pass = std::exchange(worker.pending, std::nullopt);
        }
        if (!pass) continue;
        KeepReport report = keep_logs(worker.folder_ops, pass->folder, pass->settings, worker.stop, pass->rotated);
        const Locked locked(worker.lock);
        worker.reports.push_back(std::move(report));
    }
    return 0;
}

BackgroundKeeper::BackgroundKeeper() : worker_(std::make_unique<Worker>(nullptr)) {}

BackgroundKeeper::BackgroundKeeper(LogFolder& folder_ops) : worker_(std::make_unique<Worker>(&folder_ops)) {}

BackgroundKeeper::~BackgroundKeeper() { stop(); }

void BackgroundKeeper::tidy(const std::string& folder, const KeepSettings& settings,
                            const std::vector<std::string>& rotated) {
    if (!worker_ || worker_->stop.load()) return;
    Worker& worker = *worker_;
    {
        const Locked locked(worker.lock);
        worker.pending = Pass{folder, settings, newest_rotation(worker.pending, rotated)};
    }
    if (!worker.thread) {
        if (const SysResult started = worker.start(); !started.ok()) {
            KeepReport report;
            report.listing = started;
            const Locked locked(worker.lock);
            worker.pending.reset();
            worker.reports.push_back(std::move(report));
            return;
        }
    }
    ::SetEvent(worker.wake.get());
}

void BackgroundKeeper::mark_rotation(const std::string& folder, const KeepSettings& settings,
                                     const std::vector<std::string>& rotated) {
    if (!worker_) return;
    KeepReport report;
    report.mark_failures = brevalt::mark_rotation(worker_->folder_ops, folder, settings, rotated);
    if (report.mark_failures.empty()) return;
    const Locked locked(worker_->lock);
    worker_->reports.push_back(std::move(report));
}

std::vector<KeepReport> BackgroundKeeper::take_reports() {
    if (!worker_) return {};
    const Locked locked(worker_->lock);
    return std::exchange(worker_->reports, {});
}

void BackgroundKeeper::stop() {
    if (!worker_) return;
    worker_->stop.store(true);
    if (!worker_->thread) return;
    ::SetEvent(worker_->wake.get());
    if (::WaitForSingleObject(worker_->thread.get(), k_stop_wait_ms) == WAIT_OBJECT_0) {
        worker_->thread.reset();
        return;
    }
    // Inside the one call that compresses a file, which cannot be cut short:
    // the worker keeps what it uses and ends with the process; no pass
    // starts after this one.
    static_cast<void>(worker_.release());
}

}  // namespace brevalt
