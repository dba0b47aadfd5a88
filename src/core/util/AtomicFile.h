// A file that takes the place of its target only when it is complete, and survives a crash:
//  - it is written as an unnamed file in the target's folder (O_TMPFILE), so a killed program
//    leaves nothing behind; where the file system cannot do that, or the writer needs a name (the
//    MP4 muxer reopens its output), under a hidden name ".kestrix-tmp-XXXXXX" in that folder;
//  - commit syncs the file, gives it the old target's permissions (a new file the usual ones),
//    links it in under a temporary name, renames that over the target and syncs the folder, so
//    that after a power cut the target is the old file or the new one, never neither;
//  - temporary names older than an hour, left by a killed program, are removed by the next
//    atomic write into their folder.
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
    // The temporary file's name; empty for an unnamed one.
    const std::string& temporaryName() const { return temporary_; }

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
