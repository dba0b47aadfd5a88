// The archive of original pictures: names by the UTC second, the kinds, and retention by age and
// by size that deletes only the archive's own pictures.
#include "core/watch/PictureArchive.h"

#include "core/util/Error.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kNoon = 1796817600; // 2026-12-09 12:00:00 UTC

} // namespace

TEST(PictureArchive, PicturesAreNamedByTheirSecondAndKeptAsSent) {
    TempDir dir("archive");
    const std::string folder = dir.file("Volcanos/Etna");
    const std::string jpeg = "\xFF\xD8\xFF\xE0 not really a whole jpeg";
    EXPECT_EQ(archivePicture(folder, kNoon, ImageKind::Jpeg, jpeg),
              folder + "/20261209-120000.jpg");
    EXPECT_EQ(archivePicture(folder, kNoon, ImageKind::Png, "png"),
              folder + "/20261209-120000.png");
    EXPECT_EQ(archivePicture(folder, kNoon, ImageKind::Jpeg, "second"),
              folder + "/20261209-120000-2.jpg");
    EXPECT_EQ(archivePicture(folder, kNoon, ImageKind::Jpeg, "third"),
              folder + "/20261209-120000-3.jpg");
    EXPECT_EQ(readFile(folder + "/20261209-120000.jpg"), jpeg);
    EXPECT_EQ(filesUnder(folder).size(), 4u) << "no temporary file is left";

    EXPECT_EQ(pictureKind("\x89PNG\r\n\x1a\n....", "http://cam/x.jpg"), ImageKind::Png);
    EXPECT_EQ(pictureKind("GIF89a......", "http://cam/x"), ImageKind::Gif);
    EXPECT_EQ(pictureKind("BM", "http://cam/snap.bmp"), ImageKind::Bmp) << "by the address";
    EXPECT_STREQ(pictureExtension(ImageKind::Gif), "gif");
}

TEST(PictureArchive, OnlyTheArchivesOwnNamesArePictures) {
    for (const char* name : {"20261209-120000.jpg", "20261209-120000-2.png",
                             "20261209-120000-17.gif", "19991231-235959.bmp"})
        EXPECT_TRUE(isArchivePictureName(name)) << name;
    for (const char* name :
         {"20261209-120000.jpeg", "20261209-120000.JPG", "2026129-120000.jpg", "20261209-12000.jpg",
          "20261209-120000-.jpg", "20261209-120000-x.jpg", "x20261209-120000.jpg",
          "20261209_120000.jpg", "notes.txt", ".kestrix-tmp-abcdef", "20261209-120000.jpg.part"})
        EXPECT_FALSE(isArchivePictureName(name)) << name;
}

TEST(PictureArchive, SizesTakeBinarySuffixes) {
    EXPECT_EQ(parseByteSize("500"), 500u);
    EXPECT_EQ(parseByteSize("20K"), 20u * 1024);
    EXPECT_EQ(parseByteSize("1.5M"), 1536u * 1024);
    EXPECT_EQ(parseByteSize("2G"), 2ull << 30);
    for (const char* bad : {"", "K", "-5M", "12Q", "1e400", "0"})
        EXPECT_THROW(parseByteSize(bad), Error) << bad;
}
