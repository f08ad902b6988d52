#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "keeping/log_keeping.h"

namespace brevalt {

// The log folder on a POSIX file system. Names are used as the folder holds
// them and never followed: a link named like a log is removed as a link and
// never compressed, so a planted link cannot make Brevalt read or delete a
// file outside the folder. A log is compressed to "<name>.gz", readable by
// zcat and zgrep, with the original's group, mode and times. An existing
// "<name>.gz" is replaced only when its trailer's CRC-32 and length are
// those of the log: the remains of a pass cut short. Every file it opens
// is opened without blocking and without following a link, and only a
// regular file is read or written: nothing in the folder can hold it up.
class PosixLogFolder final : public LogFolder {
public:
    SysResult list(const std::string& folder, std::vector<FolderEntry>& entries) override;
    SysResult remove(const std::string& folder, const std::string& name) override;
    CompressResult compress(const std::string& folder, const std::string& name, bool settled,
                            const std::atomic<bool>& stop) override;
    SysResult mark(const std::string& folder, const std::string& name) override;
    int local_date() override;
};

}  // namespace brevalt
