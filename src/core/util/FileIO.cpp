#include "core/util/FileIO.h"

#include "core/util/AtomicFile.h"
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

void throwCreate(const std::string& path, int err) {
    throw Error("Cannot create file \"" + path + "\". " + systemErrorText(err),
                ErrorKind::FileCreate);
}

namespace {

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

void throwIfFailed(int err, const std::string& path) {
    if (err != 0)
        throwCreate(path, err);
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFile file;
    throwIfFailed(file.create(path), path);
    throwIfFailed(file.write(bytes), path);
    throwIfFailed(file.commit(), path);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace kestrix
