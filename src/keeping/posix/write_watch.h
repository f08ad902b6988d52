#pragma once

#include <string>

#include "keeping/log_keeping.h"

namespace brevalt {

// Whether anybody on the machine writes a file, asked of the kernel rather
// than guessed from its size and time: a read lease on our own read-only
// descriptor can only be taken while no process has the file open for
// writing, and it is broken by the next open for writing or truncation.
// That catches the writer the size cannot: one that holds the dated log open
// and is quiet while it is compressed, to write after its name is gone.
//
// Readers (an operator's pager, a log forwarder) do not count: they keep
// reading what they opened after the name goes, and the copy holds the same.
//
// A lease needs the file's owner or CAP_LEASE (another operator's log is
// refused), and a file system whose kernel sees every open: NFS and SMB
// refuse it, and FUSE and overlay mounts grant one that is blind to opens
// through their other side. There `taken()` is `unavailable` and `blind()`
// says why; the caller must then prove the log settled in another way.
class WriteWatch {
public:
    enum class Taken { watching, written, unavailable };

    // `fd` is the file opened read-only; it outlives this watch.
    explicit WriteWatch(int fd);
    ~WriteWatch();
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

    // `written`: open for writing somewhere when the watch began.
    [[nodiscard]] Taken taken() const { return taken_; }
    [[nodiscard]] LogFolder::Blind blind() const { return blind_; }
    // With Blind::file_system: "NFS", "SMB", "FUSE", "overlay" or the type's number.
    [[nodiscard]] const std::string& file_system() const { return file_system_; }

    // Whether a writer has opened the file since the watch began. Its open
    // waits in the kernel until the lease goes, so the lease goes at once:
    // the writer is held up by no more than the time between two looks.
    [[nodiscard]] bool writer_came();

private:
    void let_go();

    int fd_;
    Taken taken_;
    LogFolder::Blind blind_ = LogFolder::Blind::none;
    std::string file_system_;
};

}  // namespace brevalt
