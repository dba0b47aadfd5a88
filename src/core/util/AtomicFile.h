// A file that takes the place of its target only when it is complete, and survives a crash:
//  - it is written as an unnamed file in the target's folder (O_TMPFILE), so a killed program
//    leaves nothing behind; where the file system cannot do that, or the writer needs a name (the
//    MP4 muxer reopens its output), under a hidden name ".kestrix-tmp-XXXXXX" in that folder;
//  - commit syncs the file, gives it the old target's permissions (a new file the usual ones),
//    links it in under a temporary name, renames that over the target and syncs the folder, so
//    that after a power cut the target is the old file or the new one, never neither;
//  - temporary names older than an hour, left by a killed program, are removed by the next
//    atomic write into their folder.
// A target that is a symbolic link is followed: the file it names is replaced and the link stays.
// A target that is a device, a FIFO or a socket is written straight through, without a temporary
// file, and is never renamed over or removed. A folder is an error (EISDIR).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrix {

// The temporary names: ".kestrix-tmp-" and six characters.
bool isAtomicTemporaryName(std::string_view fileName);

// A test seam: called before every write, link and rename of the crash-safe writers, so that a
// test can stop a save at each of its steps. Null (the default) calls nothing.
using FileStepHook = void (*)();
void setFileStepHook(FileStepHook hook);
void announceFileStep();

// The name a save to `target` really replaces: `target` with its symbolic links followed (a
// dangling link gives the name it points to). Answers 0 or an errno (ELOOP for a cycle).
int resolveSaveTarget(const std::string& target, std::string& resolved);

// Writes all of `bytes` to `fd` in pieces, each announced; answers 0 or an errno (ENOSPC for a
// write that made no progress).
int writeAll(int fd, std::string_view bytes);

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile() { discard(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file for `target`; answers 0 or the errno of the failure.
    int create(const std::string& target, bool needsName = false);
    int fd() const { return fd_; }
    // The name the file is written under: the temporary file's (empty for an unnamed one), or
    // the target itself when it is written straight through.
    const std::string& temporaryName() const { return direct_ ? target_ : temporary_; }
    // The target is a device, FIFO or socket, written straight through.
    bool direct() const { return direct_; }

    // Writes all of `bytes` at the current position (see writeAll).
    int write(std::string_view bytes) { return writeAll(fd_, bytes); }
    // The same at `offset`, leaving the current position alone.
    int writeAt(std::string_view bytes, long long offset);

    // Puts the complete file in place of the target; answers 0 or an errno, in which case the
    // temporary file is gone and the target is as it was.
    int commit();
    // Gives the file up; the target stays as it was.
    void discard() noexcept;

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool direct_ = false;
};

// Gathers small writes into pieces of about 1 MiB for an AtomicFile. It never throws and never
// allocates after construction, so C libraries may call it from their callbacks; the first
// failure is kept and later writes are dropped.
class PieceWriter {
public:
    explicit PieceWriter(AtomicFile& file);
    void append(const void* data, size_t size) noexcept;
    // Writes what is left; answers 0 or the first errno.
    int finish() noexcept;
    int error() const { return error_; }

private:
    void flush() noexcept;

    AtomicFile& file_;
    std::string piece_;
    int error_ = 0;
};

} // namespace kestrix
