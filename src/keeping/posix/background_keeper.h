#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "keeping/log_keeping.h"

namespace brevalt {

// Runs passes over the log folder on one thread of its own, started at the
// first pass asked for, at the lowest CPU and I/O priority: a gigabyte log
// compressed at midnight must not slow the window, the sensor or the
// operator's other work.
class BackgroundKeeper final : public LogKeeper {
public:
    explicit BackgroundKeeper(LogFolder& folder_ops) : folder_ops_(folder_ops) {}
    BackgroundKeeper(const BackgroundKeeper&) = delete;
    BackgroundKeeper& operator=(const BackgroundKeeper&) = delete;
    ~BackgroundKeeper() override { BackgroundKeeper::stop(); }

    void tidy(const std::string& folder, const KeepSettings& settings,
              const std::vector<std::string>& rotated) override;
    std::vector<KeepReport> take_reports() override;
    void stop() override;

private:
    struct Pass {
        std::string folder;
        KeepSettings settings;
        std::vector<std::string> rotated;
    };
    void work();

    LogFolder& folder_ops_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Pass> pending_;  // at most one: a newer request replaces it
    std::vector<KeepReport> reports_;
    bool stopped_ = false;
    std::atomic<bool> stopping_{false};  // read by the pass between pieces of work
    std::thread worker_;
};

}  // namespace brevalt
