// What the archive's pages ask of the index (folders, days, a day's pictures, the nearest picture
// to a time of every day), and the thumbnails: their size and look, made from a decoded picture
// or from the archived file, deleted with their pictures by retention.
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/image/ImageFile.h"
#include "core/watch/ArchiveIndex.h"
#include "core/watch/Thumbnails.h"
#include "support/ArchiveBuilder.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDay = 86400;

void writeEmpty(const std::string& root, const std::string& path, size_t bytes = 10) {
    fs::create_directories(fs::path(root + "/" + path).parent_path());
    writeFile(root + "/" + path, std::string(bytes, 'p'));
}

void scanAll(ArchiveIndex& index, const std::string& root) {
    const std::atomic<bool> stop{false};
    index.scan(root, stop);
}

Bitmap decoded(const std::string& path) {
    Bitmap b;
    decodeImage(readFile(path), path, b, nullptr);
    return b;
}

} // namespace

// A week of three links at several pictures an hour: days with their counts, a day's pictures in
// order (a second's -N after it, other extensions in place), the picture nearest a time of day
// for every day, and pictures reported after the scan.
TEST(ArchiveBrowse, DaysPicturesAndTheSameTimeOfEveryDay) {
    TempDir dir("browse");
    const std::string& root = dir.path();
    // Every 20 minutes for a week; every 30 minutes from 06:00 to 18:00; every 15 minutes, but
    // nothing on the third day.
    for (std::time_t t = kArchiveStart; t < kArchiveStart + 7 * kDay; t += 1200)
        writeEmpty(root, "Alps/Matterhorn/" + archiveName(t));
    for (std::time_t t = kArchiveStart; t < kArchiveStart + 7 * kDay; t += 1800) {
        std::tm utc{};
        gmtime_r(&t, &utc);
        if (utc.tm_hour >= 6 && utc.tm_hour < 18)
            writeEmpty(root, "Alps/Eiger/" + archiveName(t));
    }
    for (std::time_t t = kArchiveStart; t < kArchiveStart + 7 * kDay; t += 900)
        if (t < kArchiveStart + 2 * kDay || t >= kArchiveStart + 3 * kDay)
            writeEmpty(root, "Harbour/" + archiveName(t, t % 1800 ? "png" : "jpg"));
    writeEmpty(root, "Harbour/20261102-000000-2.jpg");
    writeEmpty(root, "Harbour/20261102-000000-3.gif");
    writeEmpty(root, "Harbour/notes.txt");
    writeEmpty(root, "Empty/.hidden/20261102-000000.jpg");
    fs::create_directories(root + "/Alps/Matterhorn/timelapse");
    writeEmpty(root, ".kestrix/thumbs/Harbour/20261102-000000.jpg.jpg");

    ArchiveIndex index;
    scanAll(index, root);
    EXPECT_EQ(index.folders(),
              (std::vector<std::string>{"Alps/Eiger", "Alps/Matterhorn", "Harbour"}));

    const auto days = index.days("Alps/Matterhorn");
    ASSERT_EQ(days.size(), 7u);
    for (size_t i = 0; i < days.size(); ++i) {
        EXPECT_EQ(days[i].day, 20261102u + i);
        EXPECT_EQ(days[i].pictures, 72u);
    }
    const auto harbour = index.days("Harbour/");
    ASSERT_EQ(harbour.size(), 6u) << "no day without pictures";
    EXPECT_EQ(harbour[0].pictures, 98u);
    EXPECT_EQ(harbour[2].day, 20261105u);
    EXPECT_TRUE(index.days("Nowhere").empty());
    EXPECT_TRUE(index.days("../Harbour").empty());

    const auto first = index.picturesOfDay("Harbour", 20261102);
    ASSERT_EQ(first.size(), 98u);
    EXPECT_EQ(std::vector<std::string>(first.begin(), first.begin() + 5),
              (std::vector<std::string>{"20261102-000000.jpg", "20261102-000000-2.jpg",
                                        "20261102-000000-3.gif", "20261102-001500.png",
                                        "20261102-003000.jpg"}));
    EXPECT_EQ(first.back(), "20261102-234500.png");
    EXPECT_TRUE(index.picturesOfDay("Harbour", 20261104).empty());
    EXPECT_EQ(index.picturesOfDay("Alps/Eiger", 20261108).front(), "20261108-060000.jpg");

    const auto summary = index.summary("Alps/Eiger");
    EXPECT_EQ(summary.pictures, 7u * 24);
    EXPECT_EQ(summary.newest, "20261108-173000.jpg");

    struct Nearest {
        const char* folder;
        int second;
        const char* time; // HHMMSS every day must answer
    };
    const Nearest cases[] = {
        {"Alps/Eiger", 3 * 3600, "060000"},            // before the first: the day's first
        {"Alps/Eiger", 23 * 3600 + 59 * 60, "173000"}, // after the last: the day's last
        {"Alps/Eiger", 12 * 3600 + 10 * 60, "120000"},
        {"Alps/Eiger", 12 * 3600 + 15 * 60, "120000"}, // a tie: the earlier
        {"Alps/Eiger", 12 * 3600 + 16 * 60, "123000"},
        {"Alps/Matterhorn", 0, "000000"},
        {"Alps/Matterhorn", 86399, "234000"},
        {"Alps/Matterhorn", 12 * 3600 + 20 * 60, "122000"},
    };
    for (const Nearest& c : cases) {
        const auto names = index.nearestEachDay(c.folder, c.second);
        ASSERT_EQ(names.size(), 7u) << c.folder << " " << c.second;
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(names[i].substr(0, 15), std::to_string(20261102 + i) + "-" + c.time)
                << c.folder << " " << c.second;
    }
    // One per day that has pictures, the -N of a second never before its plain name.
    const auto harbourNoon = index.nearestEachDay("Harbour", 0);
    ASSERT_EQ(harbourNoon.size(), 6u);
    EXPECT_EQ(harbourNoon[0], "20261102-000000.jpg");

    // Reported by the watch after the scan: at once in every answer.
    index.added("Alps/Eiger", "20261109-070000.jpg", 10);
    index.added("New/Cam", "20261109-070500.png", 10);
    EXPECT_EQ(index.days("Alps/Eiger").back().day, 20261109u);
    EXPECT_EQ(index.nearestEachDay("Alps/Eiger", 0).back(), "20261109-070000.jpg");
    EXPECT_EQ(index.folders().back(), "New/Cam");
}

// Thumbnails fit the box, keep the picture's proportions and colours, are never larger than
// the picture, and are written where the pages look for them.
TEST(ArchiveBrowse, ThumbnailsFitTheBoxAndLookLikeTheirPicture) {
    struct Size {
        int width, height, thumbWidth, thumbHeight;
    };
    for (const Size& s : {Size{1920, 1080, 160, 90}, Size{640, 480, 160, 120},
                          Size{161, 100, 160, 99}, Size{100, 50, 100, 50}, Size{1, 1, 1, 1},
                          Size{300, 4000, 36, 480}, Size{5000, 3, 160, 1}}) {
        const Bitmap thumbnail = thumbnailOf(greyBitmap(90, s.width, s.height));
        EXPECT_EQ(thumbnail.width(), s.thumbWidth) << s.width << "x" << s.height;
        EXPECT_EQ(thumbnail.height(), s.thumbHeight) << s.width << "x" << s.height;
        // The resampler's sums round to a level either side.
        const int centreX = thumbnail.width() / 2, centreY = thumbnail.height() / 2;
        const int green = thumbnail.pixel(centreX, centreY).g;
        EXPECT_NEAR(green, 90, 1) << s.width << "x" << s.height;
    }
    // Left half red, right half blue, a 3-pixel white border: averaged blocks at the edges must
    // not come out dark (a block counted as larger than it is).
    Bitmap split = solidBitmap(0, 0, 255, 1603, 905);
    split.fillRect({801, 0, 1603, 905}, Color{0, 0, 255});
    split.fillRect({1600, 0, 1603, 905}, Color{255, 255, 255});
    split.fillRect({0, 902, 1603, 905}, Color{255, 255, 255});
    const Bitmap halves = thumbnailOf(split);
    ASSERT_EQ(halves.width(), 160);
    const Color left = halves.pixel(20, 40), right = halves.pixel(140, 40);
    const Color corner = halves.pixel(159, halves.height() - 1);
    EXPECT_GT(left.r, 240);
    EXPECT_LT(left.b, 15);
    EXPECT_GT(right.b, 240);
    EXPECT_LT(right.r, 15);
    EXPECT_GT(corner.r + corner.g + corner.b, 3 * 150) << "the edge's partial block";

    TempDir dir("thumbs");
    Bitmap palette = greyBitmap(200, 320, 240);
    palette.setPixelFormat(PixelFormat::Bit8);
    ASSERT_TRUE(writeThumbnail(dir.path(), "Alps/Eiger/20261102-120000.png", palette));
    const std::string path = dir.file(".kestrix/thumbs/Alps/Eiger/20261102-120000.png.jpg");
    EXPECT_EQ(thumbnailPath(dir.path(), "Alps/Eiger/20261102-120000.png"), path);
    const Bitmap written = decoded(path);
    EXPECT_EQ(written.width(), 160);
    EXPECT_EQ(written.height(), 120);
    EXPECT_NEAR(written.pixel(80, 60).g, 200, 3);
    // A folder that cannot be made: false, never an exception out of the watch's thread.
    writeFile(dir.file("file"), "x");
    EXPECT_FALSE(writeThumbnail(dir.file("file"), "A/20261102-120000.jpg", palette));
}

// Thumbnails of archived files of every kind, a picture that cannot be decoded remembered, and
// retention taking each thumbnail with its picture.
TEST(ArchiveBrowse, ThumbnailsOfArchivedFilesGoWithTheirPictures) {
    TempDir dir("thumbs");
    const std::string& root = dir.path();
    fs::create_directories(root + "/Cam");
    saveJpegFile(solidBitmap(0, 0, 250, 640, 480), root + "/Cam/20261101-000000.jpg", 90);
    savePngFile(solidBitmap(0, 250, 0, 320, 200), root + "/Cam/20261101-000100.png");
    writeFile(root + "/Cam/20261101-000200.bmp", writeBmp(solidBitmap(250, 0, 0, 64, 48)));
    writeFile(root + "/Cam/20261101-000300.gif",
              GifBuilder(4, 4, {Color{0, 0, 0}, Color{250, 250, 0}})
                  .pixels(0, 0, 4, 4, std::vector<uint8_t>(16, 1))
                  .done());
    writeFile(root + "/Cam/20261101-000400.jpg", "not a picture at all");
    for (const char* name : {"20261101-000000.jpg", "20261101-000100.png", "20261101-000200.bmp",
                             "20261101-000300.gif"}) {
        EXPECT_TRUE(makeThumbnail(root, std::string("Cam/") + name)) << name;
        EXPECT_TRUE(fs::exists(thumbnailPath(root, std::string("Cam/") + name))) << name;
    }
    EXPECT_EQ(decoded(thumbnailPath(root, "Cam/20261101-000200.bmp")).width(), 64);
    const Color red = decoded(thumbnailPath(root, "Cam/20261101-000000.jpg")).pixel(80, 60);
    EXPECT_GT(red.r, 230);
    EXPECT_LT(red.g + red.b, 30);
    EXPECT_FALSE(makeThumbnail(root, "Cam/20261101-000400.jpg"));
    EXPECT_FALSE(fs::exists(thumbnailPath(root, "Cam/20261101-000400.jpg")));

    LazyThumbnails lazy(root);
    fs::remove(thumbnailPath(root, "Cam/20261101-000100.png"));
    EXPECT_EQ(lazy.find("Cam/20261101-000100.png"), thumbnailPath(root, "Cam/20261101-000100.png"));
    // Thumbnails are written without a flush to the disk: one a crash left empty is made again.
    writeFile(thumbnailPath(root, "Cam/20261101-000200.bmp"), "");
    EXPECT_EQ(lazy.find("Cam/20261101-000200.bmp"), thumbnailPath(root, "Cam/20261101-000200.bmp"));
    EXPECT_EQ(decoded(thumbnailPath(root, "Cam/20261101-000200.bmp")).width(), 64);
    EXPECT_FALSE(fs::exists(thumbnailPath(root, "Cam/20261101-000200.bmp") + ".part"));
    EXPECT_EQ(lazy.find("Cam/20261101-000400.jpg"), std::nullopt);
    // Repaired on disk, but remembered as failing: not decoded again on every page.
    saveJpegFile(solidBitmap(0, 0, 250, 64, 48), root + "/Cam/20261101-000400.jpg", 90);
    EXPECT_EQ(lazy.find("Cam/20261101-000400.jpg"), std::nullopt);

    // Retention deletes the two oldest pictures; their thumbnails go with them, the others stay.
    ArchiveIndex index;
    scanAll(index, root);
    ASSERT_EQ(index.fileCount(), 5u);
    const std::time_t now = 1793491200 + 2 * kDay; // 2026-11-03 00:00 UTC
    const uint64_t keep = index.totalBytes() - fs::file_size(root + "/Cam/20261101-000000.jpg") -
                          fs::file_size(root + "/Cam/20261101-000100.png");
    const RetentionResult r = index.apply({0, keep}, now);
    EXPECT_EQ(r.deletedFiles, 2u);
    EXPECT_FALSE(fs::exists(thumbnailPath(root, "Cam/20261101-000000.jpg")));
    EXPECT_FALSE(fs::exists(thumbnailPath(root, "Cam/20261101-000100.png")));
    EXPECT_TRUE(fs::exists(thumbnailPath(root, "Cam/20261101-000200.bmp")));
    // A picture without a thumbnail, and one already deleted by hand, are deleted as before.
    fs::remove(root + "/Cam/20261101-000300.gif");
    EXPECT_EQ(index.apply({1, 0}, now + 10 * kDay).deletedFiles, 2u);
    EXPECT_FALSE(fs::exists(thumbnailPath(root, "Cam/20261101-000300.gif")));
    EXPECT_FALSE(fs::exists(thumbnailPath(root, "Cam/20261101-000200.bmp")));
}
