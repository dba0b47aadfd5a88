// The crash-safe file: nothing visible while it is written, permissions, and the clean-up of
// temporaries that killed programs left behind.
#include "core/util/AtomicFile.h"

#include "core/util/FileIO.h"
#include "support/TempDir.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void makeAge(const std::string& path, time_t seconds) {
    const time_t then = time(nullptr) - seconds;
    const utimbuf times{then, then};
    utime(path.c_str(), &times);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, NothingShowsUntilTheFileIsComplete) {
    TempDir dir("atomic");
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named);
        AtomicFile file;
        ASSERT_EQ(file.create(dir.file("a.txt"), named), 0);
        ASSERT_EQ(file.write("hello world"), 0);
        ASSERT_EQ(file.writeAt("H", 0), 0);
        if (named) {
            ASSERT_EQ(entries(dir.path()).size(), 1u);
            EXPECT_TRUE(isAtomicTemporaryName(entries(dir.path())[0]));
            EXPECT_EQ(dir.file(entries(dir.path())[0]), file.temporaryName());
        } else {
            EXPECT_EQ(entries(dir.path()), std::vector<std::string>{});
        }
        ASSERT_EQ(file.commit(), 0);
        EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(readFile(dir.file("a.txt")), "Hello world");
        fs::remove(dir.file("a.txt"));
    }
    // Given up, it leaves the old file and no other.
    writeFile(dir.file("b.txt"), "old");
    AtomicFile file;
    ASSERT_EQ(file.create(dir.file("b.txt"), true), 0);
    ASSERT_EQ(file.write("new"), 0);
    file.discard();
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(readFile(dir.file("b.txt")), "old");
    EXPECT_EQ(AtomicFile().create(dir.file("missing/c.txt")), ENOENT);
}

TEST(AtomicFile, ReplacementKeepsThePermissionsAndNewFilesFollowTheUmask) {
    TempDir dir("atomic");
    const mode_t previous = umask(027);
    writeFileAtomically(dir.file("new.txt"), "x");
    EXPECT_EQ(modeOf(dir.file("new.txt")), 0640u);
    umask(previous);
    writeFile(dir.file("old.txt"), "x");
    chmod(dir.file("old.txt").c_str(), 0604);
    writeFileAtomically(dir.file("old.txt"), "y");
    EXPECT_EQ(modeOf(dir.file("old.txt")), 0604u);
}

TEST(AtomicFile, TemporariesOlderThanAnHourGoWithTheNextWrite) {
    TempDir dir("atomic");
    const std::vector<std::string> names = {".kestrix-tmp-Aged01", ".kestrix-tmp-Young1",
                                            ".kestrix-tmp-TooLong", "photo.jpg"};
    for (const std::string& name : names)
        writeFile(dir.file(name), "left behind");
    makeAge(dir.file(".kestrix-tmp-Aged01"), 2 * 3600);
    makeAge(dir.file(".kestrix-tmp-TooLong"), 2 * 3600);
    makeAge(dir.file("photo.jpg"), 2 * 3600);
    makeAge(dir.file(".kestrix-tmp-Young1"), 1800);
    writeFileAtomically(dir.file("links.klnx"), "new");
    EXPECT_EQ(entries(dir.path()),
              (std::vector<std::string>{".kestrix-tmp-TooLong", ".kestrix-tmp-Young1", "links.klnx",
                                        "photo.jpg"}));
}

// What a save does to each kind of name: files are replaced, links followed, devices, FIFOs and
// sockets written straight through and never replaced, folders refused.
TEST(AtomicFile, LinksAreFollowedAndLinksToFoldersRefused) {
    TempDir dir("atomic");
    writeFile(dir.file("real.txt"), "old");
    chmod(dir.file("real.txt").c_str(), 0604);
    fs::create_symlink("real.txt", dir.file("link.txt"));
    fs::create_symlink("link.txt", dir.file("chain.txt"));
    writeFileAtomically(dir.file("chain.txt"), "new");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.txt")));
    EXPECT_TRUE(fs::is_symlink(dir.file("chain.txt")));
    EXPECT_EQ(readFile(dir.file("real.txt")), "new");
    EXPECT_EQ(modeOf(dir.file("real.txt")), 0604u);

    fs::create_directory(dir.file("sub"));
    fs::create_symlink(dir.file("sub/made.txt"), dir.file("dangling.txt"));
    writeFileAtomically(dir.file("dangling.txt"), "made");
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling.txt")));
    EXPECT_EQ(readFile(dir.file("sub/made.txt")), "made");

    fs::create_symlink("sub", dir.file("folder-link"));
    EXPECT_EQ(AtomicFile().create(dir.file("folder-link")), EISDIR);
    EXPECT_EQ(AtomicFile().create(dir.file("sub")), EISDIR);
    EXPECT_TRUE(fs::is_symlink(dir.file("folder-link")));
    fs::create_symlink("loop-b", dir.file("loop-a"));
    fs::create_symlink("loop-a", dir.file("loop-b"));
    EXPECT_EQ(AtomicFile().create(dir.file("loop-a")), ELOOP);
}

TEST(AtomicFile, DevicesFifosAndSocketsAreWrittenThroughAndKept) {
    TempDir dir("atomic");
    const std::string null = dir.file("null");
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making a device node needs root: " << std::strerror(errno);
    const mode_t before = modeOf(null);
    writeFileAtomically(null, "into the void");
    struct stat st {};
    ASSERT_EQ(::lstat(null.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(1, 3));
    EXPECT_EQ(st.st_mode & 07777, before);
    fs::create_symlink("null", dir.file("null-link"));
    writeFileAtomically(dir.file("null-link"), "through a link");
    ASSERT_EQ(::lstat(null.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = readFile(fifo); });
    try {
        writeFileAtomically(fifo, std::string(200000, 'f'));
    } catch (...) {
        // The reader must not wait for a writer that never came.
        const int release = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (release >= 0)
            ::close(release);
        reader.join();
        throw;
    }
    reader.join();
    EXPECT_EQ(received, std::string(200000, 'f'));
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    const std::string socketPath = dir.file("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(AtomicFile().create(socketPath), ENXIO);
    ::close(sock);
    ASSERT_EQ(::lstat(socketPath.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"fifo", "null", "null-link", "sock"}));
}
