// The movie's output file: a temporary file beside the target behind FFmpeg's custom output.
#include "core/movie/StagedFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

int StagedFile::create(const std::string& target) {
    discard();
    std::string name = target + ".tmp-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    target_ = target;
    temporary_ = name;
    fd_ = fd;
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

int StagedFile::writePacket(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<StagedFile*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(self->fd_, data + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            if (self->ioError_ == 0)
                self->ioError_ = err;
            return AVERROR(err);
        }
        done += static_cast<int>(n);
    }
    return size;
}

int64_t StagedFile::seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<StagedFile*>(opaque);
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

int StagedFile::commit() {
    if (fd_ < 0)
        return EBADF;
    avio_flush(io_.get());
    int err = ioError_;
    // The movie keeps the permissions of the file it replaces; a new one gets the usual ones
    // rather than the temporary file's private 0600.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
        ::fchmod(fd_, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    if (err == 0 && ::fsync(fd_) != 0)
        err = errno;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0)
        err = errno;
    if (err != 0) {
        discard();
        return err;
    }
    temporary_.clear();
    io_.reset();
    return 0;
}

void StagedFile::discard() noexcept {
    io_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

} // namespace kestrix
