// A movie's output file behind FFmpeg's custom output. A finished movie is an AtomicFile: it takes
// the target's place only when complete, and a failed, abandoned or killed write leaves an
// existing target as it was. A movie written while frames arrive goes straight into its target,
// so that what was synced survives a killed program.
#pragma once

#include "core/movie/writers/FfmpegHolders.h"
#include "core/util/AtomicFile.h"

#include <string>
#include <string_view>

namespace kestrix {

// Staged: an unnamed temporary file where possible; StagedNamed: a named one, for muxers that
// reopen their output by name; InPlace: the target itself.
enum class OutputMode { Staged, StagedNamed, InPlace };

class MovieOutput {
public:
    MovieOutput() = default;
    ~MovieOutput() { discard(); }
    MovieOutput(const MovieOutput&) = delete;
    MovieOutput& operator=(const MovieOutput&) = delete;

    // Creates the temporary file, or creates or empties the target in place. Answers 0 or the
    // errno of the failure.
    int create(const std::string& target, OutputMode mode);
    AVIOContext* io() const { return io_.get(); }
    // The file being written, as FFmpeg names files: for the muxer's own second pass over it.
    std::string ffmpegUrl() const {
        return "file:" + (inPlace_ ? target_ : staged_.temporaryName());
    }
    // The errno of the first write or seek that failed, 0 when none did.
    int ioError() const { return ioError_; }

    // Hands what was written to the disk, so that it survives a crash; answers 0 or an errno.
    int sync();
    // Flushes, syncs and closes the file, a staged one put in place of the target; answers 0 or
    // the errno of the failure, in which case a temporary file is gone.
    int commit();
    // Closes the file; a temporary file is removed, a file written in place keeps what it holds.
    void discard() noexcept;

private:
    static int writePacket(void* opaque, uint8_t* data, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    std::string target_;
    bool inPlace_ = false;
    AtomicFile staged_;
    int fd_ = -1;
    int ioError_ = 0;
    IoContextPtr io_;
};

} // namespace kestrix
