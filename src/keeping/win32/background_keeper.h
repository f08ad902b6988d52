#pragma once

#include <memory>
#include <string>
#include <vector>

#include "keeping/log_keeping.h"

namespace brevalt {

// Runs the passes over the log folder on a thread of its own at background
// priority (low CPU and low I/O), so that neither the window nor the
// sensor's writes wait while a year's logs are deleted or compressed. The
// thread starts with the first pass asked for. Win32 threads and locks, not
// std::thread: those would bring winpthread into a program that must stay
// small and need no DLL of its own.
class BackgroundKeeper final : public LogKeeper {
public:
    // The log folder through the wide API.
    BackgroundKeeper();
    // Through `folder_ops` instead, which must outlive the keeper.
    explicit BackgroundKeeper(LogFolder& folder_ops);
    ~BackgroundKeeper() override;
    BackgroundKeeper(const BackgroundKeeper&) = delete;
    BackgroundKeeper& operator=(const BackgroundKeeper&) = delete;

    // Several asked for while a pass runs make one pass after it, with the
    // newest folder and settings. A thread that cannot be started comes back
    // as a report whose listing failed.
    void tidy(const std::string& folder, const KeepSettings& settings,
              const std::vector<std::string>& rotated) override;
    void mark_rotation(const std::string& folder, const KeepSettings& settings,
                       const std::vector<std::string>& rotated) override;
    std::vector<KeepReport> take_reports() override;
    // Waits a few seconds at most: the end of the session does not wait
    // longer. A compression still running then is left to finish alone.
    void stop() override;

private:
    struct Worker;

    std::unique_ptr<Worker> worker_;
};

}  // namespace brevalt
