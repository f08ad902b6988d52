#pragma once

#include "metrics/metrics.h"

namespace brevalt {

// The metrics file on this machine's file system: written under
// "<path>.tmp", which no exporter reads, then moved over the file in one
// step (rename on POSIX, MoveFileExW on Windows). One implementation per
// system, picked by the build. The file names the user this process runs
// as in brevalt_build_info.
class FileMetricsWriter final : public MetricsWriter {
public:
    FileMetricsWriter();
    SysResult write(const std::string& path, const MetricsSnapshot& snapshot) override;

private:
    std::string operator_name_;
};

}  // namespace brevalt
