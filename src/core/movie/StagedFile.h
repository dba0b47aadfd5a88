// A file that is written under a temporary name beside its target and renamed over the target
// only when complete, exposed to the muxer as a seekable FFmpeg output. A failed or abandoned
// write removes the temporary file and leaves an existing target as it was.
#pragma once

#include "core/movie/FfmpegHolders.h"

#include <string>

namespace kestrix {

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { discard(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates TARGET.tmp-XXXXXX and its output context; answers 0 or the errno of the failure.
    int create(const std::string& target);
    AVIOContext* io() const { return io_.get(); }
    // The errno of the first write or seek that failed, 0 when none did.
    int ioError() const { return ioError_; }

    // Flushes, syncs and renames the file over the target; answers 0 or the errno of the failure,
    // in which case the temporary file is gone.
    int commit();
    // Closes and removes the temporary file, if any.
    void discard() noexcept;

private:
    static int writePacket(void* opaque, uint8_t* data, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    int ioError_ = 0;
    IoContextPtr io_;
};

} // namespace kestrix
