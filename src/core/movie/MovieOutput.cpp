// The movie's output file behind FFmpeg's custom output.
#include "core/movie/MovieOutput.h"

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

// The movie keeps the permissions of the file it replaces; a new one gets the usual ones rather
// than the temporary file's private 0600.
void takePermissions(int fd, const std::string& target) {
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
}

} // namespace

int MovieOutput::create(const std::string& target, OutputMode mode) {
    discard();
    std::string name = target + ".tmp-XXXXXX";
    const int fd = mode == OutputMode::Staged
                       ? ::mkostemp(name.data(), O_CLOEXEC)
                       : ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    target_ = target;
    if (mode == OutputMode::Staged)
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

int MovieOutput::writePacket(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<MovieOutput*>(opaque);
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
    if (!temporary_.empty())
        takePermissions(fd_, target_);
    if (err == 0 && ::fsync(fd_) != 0)
        err = errno;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0)
        err = errno;
    if (err != 0) {
        discard();
        return err;
    }
    temporary_.clear();
    io_.reset();
    return 0;
}

void MovieOutput::discard() noexcept {
    io_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

} // namespace kestrix
