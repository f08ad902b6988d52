#include "platform/system_platform.h"
#include "platform/posix/rename_by_link.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <syslog.h>
#include <unistd.h>

#include <string>

namespace brevalt {

LocalTime SystemPlatform::now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::int64_t SystemPlatform::unix_time() { return static_cast<std::int64_t>(std::time(nullptr)); }

void SystemPlatform::sleep_ms(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

ProgramDir SystemPlatform::program_dir() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return {{}, SysResult::failure("readlink", errno)};
    if (static_cast<std::size_t>(n) >= path.size()) return {{}, SysResult::failure("readlink", ENAMETOOLONG)};
    path.resize(static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {{}, SysResult::failure("readlink", ENOENT)};
    path.resize(slash == 0 ? 1 : slash);
    return {path, SysResult::success()};
}

char SystemPlatform::path_separator() const { return '/'; }

SysResult SystemPlatform::rename_no_replace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return SysResult::success();
    const int error = errno;
    // Some file systems do not know the flag.
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) return SysResult::failure("renameat2", error);
    return rename_by_link(from, to);
}

bool SystemPlatform::name_exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

namespace {

bool no_hard_links(int error) { return error == EPERM || error == ENOTSUP || error == ENOSYS; }

// For file systems without hard links (vfat, exFAT, some FUSE). rename()
// itself would replace an existing target, so the name is checked first.
// What remains is a race: a file that appears under the dated name between
// the check and the rename is replaced. Only a second rotation in the same
// second, or another program writing dated names, could hit it.
SysResult rename_if_free(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return SysResult::failure("rename", EEXIST);
    if (errno != ENOENT) return SysResult::failure("lstat", errno);
    if (::rename(from.c_str(), to.c_str()) != 0) return SysResult::failure("rename", errno);
    return SysResult::success();
}

}  // namespace

SysResult rename_by_link(const std::string& from, const std::string& to) {
    // A hard link refuses an existing target just as the flag does; the old
    // name goes only once the new one exists, so a failure loses nothing.
    if (::link(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        if (no_hard_links(error)) return rename_if_free(from, to);
        return SysResult::failure("link", error);
    }
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        // Left with two names, the log would be appended to under its dated
        // name by the restarted sensor: take the new name back.
        ::unlink(to.c_str());
        return SysResult::failure("unlink", error);
    }
    return SysResult::success();
}

void SystemPlatform::log_event(Priority priority, std::string_view text) {
    // Opened once, on the first event: a Brevalt that never has anything to
    // tell never touches the log socket.
    static const bool opened = [] {
        ::openlog("brevalt", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    int level = LOG_INFO;
    switch (priority) {
    case Priority::err: level = LOG_ERR; break;
    case Priority::warning: level = LOG_WARNING; break;
    case Priority::notice: level = LOG_NOTICE; break;
    case Priority::info: level = LOG_INFO; break;
    }
    const std::string line(text);
    ::syslog(level, "%s", line.c_str());
    // The same line where a terminal or a session log can show it, for a
    // desktop whose system log nobody reads.
    if (echo_to_stderr) std::fprintf(stderr, "brevalt: %s\n", line.c_str());
}

// The C library's words follow the session's language once the toolkit has
// set the locale: the "C" locale's are English.
std::string SystemPlatform::error_text(int error) {
    static const locale_t english = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return english != locale_t{} ? ::strerror_l(error, english) : std::strerror(error);
}

bool SystemPlatform::name_taken(int error) const { return error == EEXIST; }

std::optional<Text> SystemPlatform::why_not_operator(const std::string& log_folder) {
    if (::faccessat(AT_FDCWD, log_folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 || errno == ENOENT) return {};
    struct stat st {};
    const group* folder_group = ::stat(log_folder.c_str(), &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
    const passwd* user = ::getpwuid(::geteuid());
    const std::string group_name = folder_group != nullptr ? folder_group->gr_name : "brevalt";
    const std::string user_name = user != nullptr ? user->pw_name : "<you>";
    return Text{TextId::not_operator_posix, {group_name, user_name}};
}

std::string SystemPlatform::user_name() {
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr ? user->pw_name : "uid " + std::to_string(::getuid());
}

std::string SystemPlatform::absolute_path(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    std::string dir(PATH_MAX, '\0');
    if (::getcwd(dir.data(), dir.size()) == nullptr) return path;
    dir.resize(std::strlen(dir.c_str()));
    return dir + (dir.back() == '/' ? "" : "/") + path;
}

bool SystemPlatform::is_folder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FreeSpace SystemPlatform::free_space(const std::string& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return {0, 0, SysResult::failure("statvfs", errno)};
    const std::uint64_t block = st.f_frsize;
    return {static_cast<std::uint64_t>(st.f_bavail) * block, static_cast<std::uint64_t>(st.f_blocks) * block,
            SysResult::success()};
}

}  // namespace brevalt
