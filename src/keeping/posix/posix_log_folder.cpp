#include "keeping/posix/posix_log_folder.h"

#include "keeping/posix/write_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string_view>
#include <utility>

namespace brevalt {
namespace {

using Compressed = LogFolder::Compressed;
using CompressResult = LogFolder::CompressResult;

// Read and written in pieces this big: few calls per gigabyte, little
// memory, and the stop flag looked at every few milliseconds.
constexpr std::size_t k_piece = std::size_t{256} << 10;
// A compression must not push the operator's work out of the page cache: the
// original is let go every this many bytes read, the copy's write-back
// started every this many bytes written (so the final fsync waits for
// little, and a stop is not held up by it).
constexpr off_t k_cache_step = off_t{8} << 20;
constexpr int k_gzip_level = 6;  // gzip's own default: its speed, its size
constexpr int k_gzip_window = 15 + 16;  // the largest window, with a gzip header
constexpr int k_deflate_memory = 8;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { close(); }

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

private:
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

UniqueFd open_folder(const std::string& folder) {
    return UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

SysResult last_error(const char* call) { return SysResult::failure(call, errno); }

// Bytes an unprivileged writer may still use on the file system of `fd`;
// none known where the system does not tell.
std::uint64_t free_bytes(int fd) {
    struct statvfs fs {};
    if (::fstatvfs(fd, &fs) != 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}
CompressResult failed(SysResult result) { return {Compressed::failed, result}; }
CompressResult failed(const char* call) { return failed(last_error(call)); }

bool write_all(int fd, const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

ssize_t read_some(int fd, unsigned char* bytes, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

struct Deflater {
    z_stream stream{};
    bool started = false;

    Deflater() = default;
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater() {
        if (started) ::deflateEnd(&stream);
    }
};

// Everything `source` holds, gzipped into `target`; `crc` gets the CRC-32
// of what was read, as the gzip trailer holds it. A stop, or a writer that
// comes for the log, ends it between two pieces.
CompressResult gzip(int source, int target, const std::atomic<bool>& stop, WriteWatch& watch, uLong& crc) {
    Deflater deflater;
    z_stream& z = deflater.stream;
    const int init = ::deflateInit2(&z, k_gzip_level, Z_DEFLATED, k_gzip_window, k_deflate_memory, Z_DEFAULT_STRATEGY);
    if (init != Z_OK) return failed(SysResult::failure("deflateInit2", init == Z_MEM_ERROR ? ENOMEM : EINVAL));
    deflater.started = true;

    const auto in = std::make_unique<unsigned char[]>(k_piece);
    const auto out = std::make_unique<unsigned char[]>(k_piece);
    off_t read_total = 0;
    off_t read_let_go = 0;
    off_t written_total = 0;
    off_t written_started = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        if (stop.load()) return {Compressed::stopped, {}};
        if (watch.writer_came()) return {Compressed::in_use, {}};
        const ssize_t got = read_some(source, in.get(), k_piece);
        if (got < 0) return failed("read");
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = in.get();
        z.avail_in = static_cast<uInt>(got);
        do {
            z.next_out = out.get();
            z.avail_out = static_cast<uInt>(k_piece);
            if (::deflate(&z, flush) == Z_STREAM_ERROR) return failed(SysResult::failure("deflate", EIO));
            const std::size_t produced = k_piece - z.avail_out;
            if (!write_all(target, out.get(), produced)) return failed("write");
            written_total += static_cast<off_t>(produced);
        } while (z.avail_out == 0);

        read_total += got;
        if (read_total - read_let_go >= k_cache_step) {
            ::posix_fadvise(source, read_let_go, read_total - read_let_go, POSIX_FADV_DONTNEED);
            read_let_go = read_total;
        }
        if (written_total - written_started >= k_cache_step) {
            ::sync_file_range(target, written_started, written_total - written_started, SYNC_FILE_RANGE_WRITE);
            written_started = written_total;
            // The sensor wrote more than was foreseen: its room goes first.
            if (const std::uint64_t left = free_bytes(target); left < k_compress_spare_bytes) {
                CompressResult short_of_room{Compressed::no_room, {}};
                short_of_room.free_bytes = left;
                return short_of_room;
            }
        }
    }
    crc = z.adler;  // with a gzip header, zlib keeps the CRC-32 here
    return {Compressed::done, {}};
}

bool same_time(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The same file, with the same length and last change, as when it was
// opened: anything written since would go with the original.
bool unchanged(const struct stat& before, const struct stat& now) {
    return now.st_dev == before.st_dev && now.st_ino == before.st_ino && now.st_size == before.st_size &&
           same_time(now.st_mtim, before.st_mtim);
}

std::uint32_t little_endian(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The last member's trailer of an existing "<name>.gz": the CRC-32 and the
// length (modulo 2^32) of what it holds. None when there is no such file;
// a trailer that cannot be read (a link, a file too short) matches nothing.
struct GzTrailer {
    bool exists = false;
    bool readable = false;
    std::uint32_t crc = 0;
    std::uint32_t length = 0;
};

GzTrailer read_trailer(int folder, const std::string& gzipped) {
    GzTrailer trailer;
    const UniqueFd file(::openat(folder, gzipped.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        trailer.exists = errno != ENOENT;
        return trailer;
    }
    trailer.exists = true;
    struct stat st {};
    unsigned char bytes[8];
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 18 ||
        ::pread(file.get(), bytes, sizeof bytes, st.st_size - 8) != static_cast<ssize_t>(sizeof bytes)) {
        return trailer;
    }
    trailer.readable = true;
    trailer.crc = little_endian(bytes);
    trailer.length = little_endian(bytes + 4);
    return trailer;
}

// The copy whole in `partial`, made to look like the original and put in
// place; only then does the original go, and only if it did not change.
CompressResult compress_opened(int folder, int source, int target, const std::string& name,
                               const std::string& partial, const std::atomic<bool>& stop, WriteWatch& watch) {
    struct stat original {};
    if (::fstat(source, &original) != 0) return failed("fstat");
    const auto length = static_cast<std::uint32_t>(original.st_size);

    // A ".gz" beside it is either the remains of a pass cut short between
    // its rename and the original's removal, which a copy of this very log
    // proves, or another day's alerts that must not be lost to it. A length
    // that differs needs no compression to tell.
    const std::string gzipped = name + ".gz";
    const GzTrailer existing = read_trailer(folder, gzipped);
    if (existing.exists && (!existing.readable || existing.length != length)) return {Compressed::gz_differs, {}};

    ::posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
    uLong crc = 0;
    if (const CompressResult written = gzip(source, target, stop, watch, crc); written.outcome != Compressed::done) {
        return written;
    }
    ::posix_fadvise(source, 0, 0, POSIX_FADV_DONTNEED);
    struct stat after {};
    if (::fstat(source, &after) != 0) return failed("fstat");
    if (!unchanged(original, after)) return {Compressed::in_use, {}};
    if (existing.exists && existing.crc != static_cast<std::uint32_t>(crc)) return {Compressed::gz_differs, {}};

    // The group first, then the permission bits alone: a set-user-ID or
    // set-group-ID bit on a log would make the copy, owned by whoever
    // compressed it, a way to act as that user. Readers sorting by date see
    // the original's times.
    if (::fchown(target, static_cast<uid_t>(-1), original.st_gid) != 0) return failed("fchown");
    if (::fchmod(target, original.st_mode & 0777) != 0) return failed("fchmod");
    const timespec times[2] = {original.st_atim, original.st_mtim};
    if (::futimens(target, times) != 0) return failed("futimens");
    if (::fsync(target) != 0) return failed("fsync");
    ::posix_fadvise(target, 0, 0, POSIX_FADV_DONTNEED);

    if (existing.exists) {
        if (::renameat(folder, partial.c_str(), folder, gzipped.c_str()) != 0) return failed("renameat");
    } else if (::renameat2(folder, partial.c_str(), folder, gzipped.c_str(), RENAME_NOREPLACE) != 0) {
        // A ".gz" that appeared meanwhile is not ours to replace.
        if (errno == EEXIST) return {Compressed::gz_differs, {}};
        // Where the flag is unknown, a link never replaces either.
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return failed("renameat2");
        if (::linkat(folder, partial.c_str(), folder, gzipped.c_str(), 0) != 0) {
            return errno == EEXIST ? CompressResult{Compressed::gz_differs, {}} : failed("linkat");
        }
        ::unlinkat(folder, partial.c_str(), 0);
    }
    if (::fsync(folder) != 0) return failed("fsync");
    // Looked at again right before the original goes: the name may have
    // been written to, or be another file by now, or a writer may be waiting
    // to open it. Then the copy goes. A writer whose open begins between
    // this look and the removal writes into a file without a name, as it
    // would with any program that removes a file; the window is two calls.
    struct stat last {};
    if (watch.writer_came() || ::fstatat(folder, name.c_str(), &last, AT_SYMLINK_NOFOLLOW) != 0 ||
        !unchanged(original, last)) {
        ::unlinkat(folder, gzipped.c_str(), 0);
        return {Compressed::in_use, {}};
    }
    if (::unlinkat(folder, name.c_str(), 0) != 0) return failed("unlinkat");
    return {Compressed::done, {}};
}

}  // namespace

SysResult PosixLogFolder::list(const std::string& folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    UniqueFd folder_fd = open_folder(folder);
    // No log folder yet: nothing to keep, and the rotation tells of it.
    if (!folder_fd.valid()) return errno == ENOENT ? SysResult::success() : last_error("open");
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(folder_fd.get()), ::closedir);
    if (!dir) return last_error("fdopendir");
    folder_fd.release();  // closed with `dir`

    timespec listed {};
    ::clock_gettime(CLOCK_REALTIME, &listed);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) return errno == 0 ? SysResult::success() : last_error("readdir");
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;  // gone since the folder was read
            return last_error("fstatat");
        }
        FolderEntry found{std::string(name), FolderEntry::Kind::other};
        found.age_seconds = static_cast<std::int64_t>(listed.tv_sec) - static_cast<std::int64_t>(st.st_mtim.tv_sec);
        if (S_ISREG(st.st_mode)) {
            found.kind = FolderEntry::Kind::file;
        } else if (S_ISLNK(st.st_mode)) {
            found.kind = FolderEntry::Kind::link;
        }
        entries.push_back(std::move(found));
    }
}

SysResult PosixLogFolder::remove(const std::string& folder, const std::string& name) {
    const UniqueFd dir = open_folder(folder);
    if (!dir.valid()) return last_error("open");
    if (::unlinkat(dir.get(), name.c_str(), 0) != 0) return last_error("unlinkat");
    return SysResult::success();
}

SysResult PosixLogFolder::mark(const std::string& folder, const std::string& name) {
    const UniqueFd dir = open_folder(folder);
    if (!dir.valid()) return last_error("open");
    // A pipe under the name would hold a blocking open until some program
    // read it: this one fails at once instead.
    const UniqueFd file(
        ::openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0660));
    if (!file.valid()) return last_error("openat");
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return last_error("fstat");
    if (!S_ISREG(st.st_mode)) return SysResult::failure("fstat", EINVAL);
    return SysResult::success();
}

int PosixLogFolder::local_date() {
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    if (::localtime_r(&now, &local) == nullptr) return 0;
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

LogFolder::CompressResult PosixLogFolder::compress(const std::string& folder, const std::string& name, bool settled,
                                                   const std::atomic<bool>& stop) {
    const UniqueFd dir = open_folder(folder);
    if (!dir.valid()) return failed("open");
    // Not blocking: a name swapped for a pipe since the listing must fail,
    // not hang the worker; and only a regular file is read.
    const UniqueFd source(::openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!source.valid()) return failed("openat");
    struct stat original {};
    if (::fstat(source.get(), &original) != 0) return failed("fstat");
    if (!S_ISREG(original.st_mode)) return failed(SysResult::failure("fstat", EINVAL));

    const auto size = static_cast<std::uint64_t>(original.st_size);
    if (const std::uint64_t left = free_bytes(dir.get()); left <= size + k_compress_spare_bytes) {
        CompressResult short_of_room{Compressed::no_room, {}};
        short_of_room.free_bytes = left;
        short_of_room.size_bytes = size;
        return short_of_room;
    }
    // Watched before the copy is begun, so that no writer goes unseen
    // between the two. Where the kernel cannot watch, only a log settled
    // for a day after its rotation is taken: its writer, if any, is gone.
    WriteWatch watch(source.get());
    if (watch.taken() == WriteWatch::Taken::written) return {Compressed::in_use, {}};
    if (watch.taken() == WriteWatch::Taken::unavailable && !settled) {
        CompressResult waits{Compressed::waits, {}};
        waits.blind = watch.blind();
        waits.file_system = watch.file_system();
        return waits;
    }
    // Made here and nowhere else, never opened through another name: a
    // pipe or a link left under this name fails rather than blocks.
    const std::string partial = name + std::string(k_partial_suffix);
    const UniqueFd target(::openat(dir.get(), partial.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!target.valid()) return failed("openat");

    CompressResult result = compress_opened(dir.get(), source.get(), target.get(), name, partial, stop, watch);
    if (result.outcome == Compressed::no_room) result.size_bytes = size;
    if (result.outcome != Compressed::done && ::unlinkat(dir.get(), partial.c_str(), 0) != 0 && errno != ENOENT &&
        result.outcome != Compressed::failed) {
        // The original is whole; the leftover goes at the next pass.
        result = failed("unlinkat");
    }
    return result;
}

}  // namespace brevalt
