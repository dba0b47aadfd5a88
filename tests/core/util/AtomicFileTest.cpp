// The crash-safe file: nothing visible while it is written, permissions, and the clean-up of
// temporaries that killed programs left behind.
#include "core/util/AtomicFile.h"

#include "core/util/FileIO.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
