#include "core/util/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestrix {

namespace {

constexpr std::string_view kTemporaryPrefix = ".kestrix-tmp-";
constexpr size_t kTemporarySuffix = 6;
constexpr time_t kStaleSeconds = 3600;
// Writes go out in pieces of this size, each one a step a test can stop at.
constexpr size_t kWriteChunk = 64 * 1024;
constexpr int kNameAttempts = 100;
// As many links as the kernel follows in one path.
constexpr int kMaxLinkHops = 40;

std::atomic<FileStepHook> fileStepHook{nullptr};

std::string folderOf(const std::string& target) {
    const std::string folder = std::filesystem::path(target).parent_path().string();
    return folder.empty() ? "." : folder;
}

// Six letters or digits that differ from call to call and from process to process.
std::string randomSuffix() {
    static std::atomic<uint64_t> counter{0};
    constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    uint64_t state =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<uint64_t>(::getpid()) << 32) ^ (counter++ * 0x9E3779B97F4A7C15u);
    std::string suffix;
    for (size_t i = 0; i < kTemporarySuffix; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        suffix += kLetters[(state >> 33) % kLetters.size()];
    }
    return suffix;
}

std::string temporaryNameIn(const std::string& folder) {
    return folder + "/" + std::string(kTemporaryPrefix) + randomSuffix();
}

// Temporary files of killed programs go at the next write into their folder; a folder is looked
// through at most once an hour by one process, so that folders of many pictures stay cheap.
void removeStaleTemporaries(const std::string& folder) {
    static std::mutex mutex;
    static std::map<std::string, time_t> lastSweep;
    const time_t now = std::time(nullptr);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        time_t& last = lastSweep[folder];
        if (last != 0 && now - last < kStaleSeconds)
            return;
        last = now;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (isAtomicTemporaryName(entry->d_name) &&
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && now - st.st_mtime > kStaleSeconds)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// The new file replaces one whose permissions it keeps; a new target keeps those it was created
// with (0666 less the umask).
void keepPermissions(int fd, const std::string& target) {
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
}

// Links an unnamed file into `folder` under a fresh temporary name; answers it, or "" with errno.
std::string linkUnnamed(int fd, const std::string& folder) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = temporaryNameIn(folder);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno != EEXIST && ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0))
            return name;
        if (errno != EEXIST)
            return "";
    }
    errno = EEXIST;
    return "";
}

// Makes a rename in the folder durable. File systems that cannot sync a folder do not need to.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Devices, FIFOs and sockets cannot take a renamed file's place without being destroyed.
bool isSpecialFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int resolveSaveTarget(const std::string& target, std::string& resolved) {
    resolved = target;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(resolved.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return 0;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(resolved.c_str(), link.data(), link.size());
        if (n < 0)
            return errno;
        link.resize(static_cast<size_t>(n));
        const std::filesystem::path next(link);
        resolved = next.is_absolute()
                       ? link
                       : (std::filesystem::path(resolved).parent_path() / next).string();
    }
    return ELOOP;
}

bool isAtomicTemporaryName(std::string_view fileName) {
    return fileName.size() == kTemporaryPrefix.size() + kTemporarySuffix &&
           fileName.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix;
}

void setFileStepHook(FileStepHook hook) {
    fileStepHook = hook;
}

void announceFileStep() {
    if (const FileStepHook hook = fileStepHook.load())
        hook();
}

int AtomicFile::create(const std::string& target, bool needsName) {
    discard();
    if (const int err = resolveSaveTarget(target, target_))
        return err;
    if (isFolder(target_))
        return EISDIR;
    if (isSpecialFile(target_)) {
        // No temporary and no rename: /dev/null stays a device, a FIFO's reader gets the bytes.
        fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            return errno;
        direct_ = true;
        return 0;
    }
    const std::string folder = folderOf(target_);
    removeStaleTemporaries(folder);
    if (!needsName) {
        fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return 0;
        // Only a file system without unnamed files is a reason to try a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = temporaryNameIn(folder);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporary_ = std::move(name);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        announceFileStep();
        const ssize_t n = ::write(fd, bytes.data(), std::min(bytes.size(), kWriteChunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

int AtomicFile::writeAt(std::string_view bytes, long long offset) {
    while (!bytes.empty()) {
        announceFileStep();
        const ssize_t n = ::pwrite(fd_, bytes.data(), std::min(bytes.size(), kWriteChunk),
                                   static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        bytes.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    return 0;
}

int AtomicFile::commit() {
    if (fd_ < 0)
        return EBADF;
    if (direct_) {
        // Neither permissions nor a sync belong to a device or a FIFO.
        const int err = ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno;
        direct_ = false;
        return err;
    }
    const std::string folder = folderOf(target_);
    keepPermissions(fd_, target_);
    announceFileStep();
    int err = ::fsync(fd_) == 0 ? 0 : errno;
    if (err == 0 && temporary_.empty()) {
        announceFileStep();
        temporary_ = linkUnnamed(fd_, folder);
        if (temporary_.empty())
            err = errno;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0) {
        announceFileStep();
        if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
            err = errno;
    }
    if (err != 0) {
        discard();
        return err;
    }
    temporary_.clear();
    announceFileStep();
    syncFolder(folder);
    return 0;
}

void AtomicFile::discard() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    direct_ = false;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

namespace {

constexpr size_t kPieceBytes = size_t{1} << 20;

} // namespace

PieceWriter::PieceWriter(AtomicFile& file) : file_(file) {
    piece_.reserve(kPieceBytes);
}

void PieceWriter::flush() noexcept {
    if (error_ == 0 && !piece_.empty())
        error_ = file_.write(piece_);
    piece_.clear();
}

void PieceWriter::append(const void* data, size_t size) noexcept {
    if (error_ != 0)
        return;
    if (piece_.size() + size > kPieceBytes)
        flush();
    if (size > kPieceBytes)
        error_ = file_.write({static_cast<const char*>(data), size});
    else
        piece_.append(static_cast<const char*>(data), size);
}

int PieceWriter::finish() noexcept {
    flush();
    return error_;
}

} // namespace kestrix
