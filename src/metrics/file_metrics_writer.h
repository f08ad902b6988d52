#pragma once

#include "metrics/metrics.h"

namespace brevalt {

// The metrics file on this machine's file system: written under
// "<path>.tmp", which no exporter reads, then moved over the file in one
// step (rename on POSIX, MoveFileExW on Windows). One implementation per
// system, picked by the build.
class FileMetricsWriter final : public MetricsWriter {
public:
    SysResult write(const std::string& path, const MetricsSnapshot& snapshot) override;
};

}  // namespace brevalt
