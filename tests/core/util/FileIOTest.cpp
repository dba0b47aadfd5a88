#include "core/util/FileIO.h"

#include "core/util/Error.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

TEST(FileIO, FailedWritesKeepTheOldFileAndLeaveNoTemporary) {
    TempDir dir;
    const std::string path = dir.file("a.txt");
    writeFileAtomically(path, "one");
    writeFileAtomically(path, "two");
    EXPECT_EQ(readFileBytes(path), "two");

    // A disk that fills up in the middle of the write.
    EXPECT_TRUE(inChild([&] {
        limitFileSize(4);
        try {
            writeFileAtomically(path, std::string(1000, 'x'));
            return false;
        } catch (const Error& e) {
            return std::string(e.what()).rfind("Cannot create file", 0) == 0;
        }
    }));
    // A folder that cannot be written.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read |
                                    fs::perms::others_exec | fs::perms::group_read |
                                    fs::perms::group_exec);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_TRUE(inChild([&] {
        dropPrivileges();
        try {
            writeFileAtomically(path, "three");
            return false;
        } catch (const Error&) {
            return true;
        }
    }));
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(readFileBytes(path), "two");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

TEST(FileIO, MissingFileNamesThePath) {
    try {
        readFileBytes("/nonexistent/x.klnx");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"/nonexistent/x.klnx\".", 0), 0u);
    }
}
