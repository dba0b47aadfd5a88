// The movie's output file behind FFmpeg's custom output.
#include "core/movie/writers/MovieOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace kestrix {

namespace {

// Large enough that a frame leaves the buffer in a few system calls.
constexpr int kIoBufferSize = 256 * 1024;

} // namespace

int MovieOutput::create(const std::string& target, OutputMode mode) {
    discard();
    target_ = target;
    inPlace_ = mode == OutputMode::InPlace;
    if (inPlace_) {
        fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            return errno;
    } else {
        if (const int err = staged_.create(target, mode == OutputMode::StagedNamed))
            return err;
        fd_ = staged_.fd();
    }
    ioError_ = 0;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    AVIOContext* io =
        buffer ? avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, writePacket, seek)
               : nullptr;
    if (!io) {
        av_free(buffer);
        discard();
        return ENOMEM;
    }
    io_.reset(io);
    return 0;
}

int MovieOutput::writePacket(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<MovieOutput*>(opaque);
    const int err = writeAll(
        self->fd_, {reinterpret_cast<const char*>(data), static_cast<size_t>(std::max(size, 0))});
    if (err == 0)
        return size;
    if (self->ioError_ == 0)
        self->ioError_ = err;
    return AVERROR(err);
}

int64_t MovieOutput::seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<MovieOutput*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(self->fd_, &st) == 0 ? st.st_size : AVERROR(errno);
    }
    const off_t at = ::lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
    if (at < 0) {
        if (self->ioError_ == 0)
            self->ioError_ = errno;
        return AVERROR(errno);
    }
    return at;
}

int MovieOutput::sync() {
    if (fd_ < 0)
        return EBADF;
    avio_flush(io_.get());
    if (ioError_ == 0 && ::fdatasync(fd_) != 0)
        ioError_ = errno;
    return ioError_;
}

int MovieOutput::commit() {
    if (fd_ < 0)
        return EBADF;
    avio_flush(io_.get());
    int err = ioError_;
    if (err == 0 && inPlace_) {
        if (::fsync(fd_) != 0)
            err = errno;
        if (::close(std::exchange(fd_, -1)) != 0 && err == 0)
            err = errno;
    } else if (err == 0) {
        fd_ = -1;
        err = staged_.commit();
    }
    io_.reset();
    discard();
    return err;
}

void MovieOutput::discard() noexcept {
    io_.reset();
    if (inPlace_ && fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    staged_.discard();
}

} // namespace kestrix
