#pragma once

#include <memory>
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
    // The log folder through the POSIX calls, owned by the worker.
    BackgroundKeeper();
    // Through `folder_ops` instead, which must outlive the worker.
    explicit BackgroundKeeper(LogFolder& folder_ops);
    BackgroundKeeper(const BackgroundKeeper&) = delete;
    BackgroundKeeper& operator=(const BackgroundKeeper&) = delete;
    ~BackgroundKeeper() override;

    void tidy(const std::string& folder, const KeepSettings& settings,
              const std::vector<std::string>& rotated) override;
    void mark_rotation(const std::string& folder, const KeepSettings& settings,
                       const std::vector<std::string>& rotated) override;
    std::vector<KeepReport> take_reports() override;
    // Waits a few seconds at most: the end of the session does not wait
    // longer. A worker held up in a call then is left to end with the
    // process, keeping what it uses.
    void stop() override;

private:
    struct Worker;

    std::shared_ptr<Worker> worker_;
    std::thread thread_;
};

}  // namespace brevalt
