#include "core/util/FileIO.h"

#include "core/util/Error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix {

std::string systemErrorText(int errorNumber) {
    return std::strerror(errorNumber);
}

namespace {

[[noreturn]] void throwCreate(const std::string& path, int err) {
    throw Error("Cannot create file \"" + path + "\". " + systemErrorText(err),
                ErrorKind::FileCreate);
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::string readFileBytes(const std::string& path) {
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = f.fd < 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : errno);
        throw Error("Cannot open file \"" + path + "\". " + systemErrorText(err),
                    ErrorKind::FileOpen);
    }
    std::string data;
    // Room for the whole file at once; a file that grows meanwhile still reads to its end.
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error("Cannot open file \"" + path + "\". " + systemErrorText(errno),
                        ErrorKind::FileOpen);
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    return data;
}

std::string writeTemporaryBeside(const std::string& path, std::string_view bytes) {
    std::string tmpl = path + ".tmp-XXXXXX";
    Fd f;
    f.fd = ::mkstemp(tmpl.data());
    if (f.fd < 0)
        throwCreate(path, errno);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(f.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int err = n < 0 ? errno : ENOSPC;
            ::unlink(tmpl.c_str());
            throwCreate(path, err);
        }
        done += static_cast<size_t>(n);
    }
    // The replacement keeps the old file's permissions; a new file gets the usual ones rather
    // than mkstemp's private 0600.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(f.fd, old.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(f.fd, 0666 & ~mask);
    }
    if (::fsync(f.fd) != 0 || ::close(f.fd) != 0) {
        int err = errno;
        f.fd = -1;
        ::unlink(tmpl.c_str());
        throwCreate(path, err);
    }
    f.fd = -1;
    return tmpl;
}

void commitTemporary(const std::string& temporary, const std::string& path) {
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(temporary.c_str());
        throwCreate(path, err);
    }
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
    commitTemporary(writeTemporaryBeside(path, bytes), path);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace kestrix
