#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "keeping/log_keeping.h"

namespace brevalt {

// The log folder through the wide API. A dated log is compressed by NTFS in
// place: its name and its content as every reader sees it stay the same, so
// the tools that read these logs need nothing new.
class Win32LogFolder final : public LogFolder {
public:
    // Names come as the folder holds them, "." and ".." left out; a reparse
    // point is a link and never followed, a folder (even one that is a link)
    // is something else.
    SysResult list(const std::string& folder, std::vector<FolderEntry>& entries) override;

    // DeleteFileW: a symbolic link goes, its target stays.
    SysResult remove(const std::string& folder, const std::string& name) override;

    // Only a plain file: a link or a folder is refused. A volume that cannot
    // compress (FAT, ReFS, a network share) answers volume_cannot.
    // A log another program holds open for writing answers in_use.
    // `settled` changes nothing: NTFS refuses the compression to a writer's
    // open handle, so a writer is never left behind.
    CompressResult compress(const std::string& folder, const std::string& name, bool settled,
                            const std::atomic<bool>& stop) override;
    SysResult mark(const std::string& folder, const std::string& name) override;
    int local_date() override;
};

}  // namespace brevalt
