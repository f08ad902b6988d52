#include "metrics/file_metrics_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace brevalt {

namespace {

SysResult write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SysResult::failure("write", errno);
        done += static_cast<std::size_t>(n);
    }
    return SysResult::success();
}

}  // namespace

FileMetricsWriter::FileMetricsWriter() {
    const uid_t uid = ::geteuid();
    const struct passwd* user = ::getpwuid(uid);
    operator_name_ = user != nullptr ? user->pw_name : std::to_string(uid);
}

SysResult FileMetricsWriter::write(const std::string& path, const MetricsSnapshot& snapshot) {
    MetricsSnapshot named = snapshot;
    named.operator_name = operator_name_;
    const std::string temporary = path + ".tmp";
    // Made afresh: one left by another operator's Brevalt that was killed
    // mid-write is theirs and could not be truncated, and a link someone put
    // there is removed rather than written through.
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return SysResult::failure("open", errno);
    // The exporter runs as a user of its own, and Brevalt's umask (007 for
    // the operators' logs) would keep it out.
    SysResult result = ::fchmod(fd, 0644) == 0 ? write_all(fd, prometheus_text(named))
                                               : SysResult::failure("fchmod", errno);
    // No fsync: a file rewritten every 30 seconds would wake the disk each
    // time, and a file lost to a power cut is rewritten at the next start.
    if (::close(fd) != 0 && result.ok()) result = SysResult::failure("close", errno);
    if (result.ok() && ::rename(temporary.c_str(), path.c_str()) != 0) result = SysResult::failure("rename", errno);
    if (!result.ok()) ::unlink(temporary.c_str());
    return result;
}

}  // namespace brevalt
