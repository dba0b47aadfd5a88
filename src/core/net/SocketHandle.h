// SocketHandle: owns one socket descriptor and closes it when it goes.
#pragma once

#include <unistd.h>
#include <utility>

namespace kestrix {

class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(int fd) : fd_(fd) {}
    ~SocketHandle() { reset(); }
    SocketHandle(SocketHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // A failed close still releases the descriptor, and retrying it could close a stranger's;
    // there is nothing useful to do with its error.
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

} // namespace kestrix
