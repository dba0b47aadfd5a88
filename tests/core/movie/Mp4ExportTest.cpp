// MP4 export read back by ffprobe and ffmpeg: the H.264 stream, exact frame rates, fast start,
// odd and mixed sizes, fidelity at the default quality, and failures that keep an old file.
#include "MovieTestSupport.h"
#include "core/frames/BitmapList.h"
#include "core/movie/MovieExport.h"
#include "core/movie/writers/Mp4Writer.h"
#include "core/tools/Resampler.h"
#include "core/util/Error.h"
#include "support/Child.h"

#include <filesystem>
#include <unistd.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

void exportMp4(const std::string& fileName, const BitmapList& frames, double fps,
               int quality = kDefaultMp4Quality) {
    exportMovie(MovieFormat::Mp4, fileName, frames, {fps, quality, false}, nullptr);
}

std::string exportMp4Error(const std::string& fileName, const BitmapList& frames) {
    try {
        exportMp4(fileName, frames, 10);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

std::vector<std::string> entriesOf(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(Mp4Export, QualityMapsOntoTheRateFactor) {
    EXPECT_EQ(crfForQuality(kDefaultMp4Quality), 18);
    EXPECT_EQ(crfForQuality(0), 51);
    EXPECT_EQ(crfForQuality(5000), 26); // 25.5 rounds away from zero
    EXPECT_EQ(crfForQuality(10000), 1) << "0 would be lossless, outside the High profile";
    EXPECT_EQ(crfForQuality(-5), 51);
    EXPECT_EQ(crfForQuality(20000), 1);
}

TEST(Mp4Export, KeyFramesAtLeastEveryTenSecondsAndEvery250Frames) {
    EXPECT_EQ(keyFrameInterval(exactRateForFps(10)), 100);
    EXPECT_EQ(keyFrameInterval(exactRateForFps(29.97)), 250);
    EXPECT_EQ(keyFrameInterval(exactRateForFps(0.5)), 5);
    EXPECT_EQ(keyFrameInterval(exactRateForFps(0.05)), 1);
}

TEST(Mp4Export, StreamKeepsTheExactRateCountAndDuration) {
    struct Case {
        double fps;
        const char* rate;
        const char* duration;
    };
    const Case cases[] = {{10, "10/1", "0.600000"},
                          {29.97, "2997/100", "0.200200"},
                          {2, "2/1", "3.000000"},
                          {0.5, "1/2", "12.000000"}};
    FrameStore store;
    for (int i = 0; i < 6; ++i)
        store.add(photoFrame(64, 48, i));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fps);
        TempDir dir("mp4");
        exportMp4(dir.file("movie.mp4"), store, c.fps);
        auto stream = probeMovie(dir.file("movie.mp4"));
        EXPECT_EQ(stream["codec_name"], "h264");
        EXPECT_EQ(stream["profile"], "High");
        EXPECT_EQ(stream["pix_fmt"], "yuv420p");
        EXPECT_EQ(stream["width"], "64");
        EXPECT_EQ(stream["height"], "48");
        EXPECT_EQ(stream["r_frame_rate"], c.rate);
        EXPECT_EQ(stream["nb_read_frames"], "6");
        EXPECT_EQ(stream["duration"], c.duration);
        const auto boxes = mp4Boxes(readFile(dir.file("movie.mp4")));
        const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
        EXPECT_LT(moov, std::find(boxes.begin(), boxes.end(), "mdat")) << "fast start";
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"movie.mp4"});
    }
}

TEST(Mp4Export, DefaultQualityKeepsPhotographicFramesFaithful) {
    TempDir dir("mp4");
    FrameStore store;
    for (int i = 0; i < 5; ++i)
        store.add(photoFrame(320, 240, i));
    exportMp4(dir.file("movie.mp4"), store, 10);
    const std::string rgb = decodeMovieRgb(dir.file("movie.mp4"));
    for (int i : {0, 4}) {
        SCOPED_TRACE(i);
        EXPECT_GE(framePsnr(rgb, i, *store.get(i)), 38.0);
    }
    // The quality scale works both ways: the lowest quality loses much more.
    exportMp4(dir.file("low.mp4"), store, 10, 0);
    EXPECT_LT(framePsnr(decodeMovieRgb(dir.file("low.mp4")), 0, *store.get(0)), 32.0);
}

// Odd sizes are stored one pixel larger with the last column and row repeated, never stretched;
// later frames of other sizes and formats take the first frame's size.
TEST(Mp4Export, OddAndMixedSizesKeepTheFirstFramesPicture) {
    TempDir dir("mp4");
    FrameStore store;
    const Bitmap odd = photoFrame(641, 481, 0);
    store.add(odd);
    Bitmap small = photoFrame(320, 240, 1);
    store.add(small);
    Bitmap paletted = photoFrame(641, 481, 2);
    paletted.setPixelFormat(PixelFormat::Bit8);
    store.add(paletted);
    store.add(Bitmap());
    exportMp4(dir.file("movie.mp4"), store, 10);
    auto stream = probeMovie(dir.file("movie.mp4"));
    EXPECT_EQ(stream["width"], "642");
    EXPECT_EQ(stream["height"], "482");
    EXPECT_EQ(stream["nb_read_frames"], "4");
    const std::string rgb = decodeMovieRgb(dir.file("movie.mp4"));
    EXPECT_GE(framePsnr(rgb, 0, odd, 642, 482), 38.0) << "the picture is not stretched";
    // The stored column and row beyond the picture repeat its last column and row.
    const auto* pixels = reinterpret_cast<const uint8_t*>(rgb.data());
    double columnDifference = 0, rowDifference = 0;
    for (int y = 0; y < 481; ++y)
        for (int c = 0; c < 3; ++c)
            columnDifference +=
                std::abs(pixels[(y * 642 + 641) * 3 + c] - pixels[(y * 642 + 640) * 3 + c]);
    for (int x = 0; x < 641; ++x)
        for (int c = 0; c < 3; ++c)
            rowDifference +=
                std::abs(pixels[(481 * 642 + x) * 3 + c] - pixels[(480 * 642 + x) * 3 + c]);
    EXPECT_LT(columnDifference / (481 * 3), 3.0);
    EXPECT_LT(rowDifference / (641 * 3), 3.0);
    resizeBitmap(small, 641, 481, nullptr, ResampleFilter::Mitchell);
    EXPECT_GE(framePsnr(rgb, 1, small, 642, 482), 34.0);
    EXPECT_GE(framePsnr(rgb, 3, Bitmap(641, 481), 642, 482), 38.0) << "empty: black";
}

TEST(Mp4Export, FailuresKeepTheOldFileAndLeaveNothingBehind) {
    TempDir dir("mp4");
    std::filesystem::create_directory(dir.file("folder.mp4"));
    writeFile(dir.file("old.mp4"), "old movie");
    FrameStore empty;
    EXPECT_EQ(exportMp4Error(dir.file("old.mp4"), empty), "No Movie To Save");
    FrameStore store;
    store.add(photoFrame(16, 16, 0));
    EXPECT_EQ(exportMp4Error(dir.file("missing/movie.mp4"), store),
              "Unable to create MP4 file \"" + dir.file("missing/movie.mp4") +
                  "\": No such file or directory");
    EXPECT_EQ(exportMp4Error(dir.file("folder.mp4"), store),
              "Unable to create MP4 file \"" + dir.file("folder.mp4") + "\": Is a directory");
    EXPECT_EQ(readFile(dir.file("old.mp4")), "old movie");
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"folder.mp4", "old.mp4"}));
}

TEST(Mp4Export, UnwritableFolderAndFullDiskKeepTheOldFile) {
    TempDir dir("mp4");
    chmod(dir.path().c_str(), 0711);
    const std::string locked = dir.file("locked");
    std::filesystem::create_directory(locked);
    writeFile(locked + "/movie.mp4", "old movie");
    chmod(locked.c_str(), 0555);
    FrameStore store;
    for (int i = 0; i < 30; ++i)
        store.add(photoFrame(160, 120, i));
    const auto messageInChild = [&](const std::function<void()>& restrict,
                                    const std::string& fileName) {
        return textFromChild([&] {
            restrict();
            return exportMp4Error(fileName, store);
        });
    };
    loadMovieModule();
    EXPECT_EQ(messageInChild([] { dropPrivileges(); }, locked + "/movie.mp4"),
              "Unable to create MP4 file \"" + locked + "/movie.mp4\": Permission denied");
    EXPECT_EQ(readFile(locked + "/movie.mp4"), "old movie");
    EXPECT_EQ(entriesOf(locked), std::vector<std::string>{"movie.mp4"});
    chmod(locked.c_str(), 0755);

    writeFile(dir.file("movie.mp4"), "old movie");
    const std::string message =
        messageInChild([] { limitFileSize(20'000); }, dir.file("movie.mp4"));
    EXPECT_NE(message.find("File too large"), std::string::npos) << message;
    EXPECT_EQ(readFile(dir.file("movie.mp4")), "old movie");
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"locked", "movie.mp4"}));
}
