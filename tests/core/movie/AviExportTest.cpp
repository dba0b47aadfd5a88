// AVI export read back by ffprobe and ffmpeg: stream, rate, frame count, fidelity per quality,
// mixed frames, and the failures that must leave no file behind and an old file untouched.
#include "MovieTestSupport.h"
#include "core/frames/BitmapList.h"
#include "core/movie/MovieExport.h"
#include "core/tools/Resampler.h"
#include "core/util/Error.h"
#include "support/Child.h"

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::vector<std::string> folderEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string exportError(const std::string& fileName, const BitmapList& frames, double fps) {
    try {
        exportAvi(fileName, frames, fps, 10000, nullptr);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

// The export's error message from a child process that first applies `restrict`.
std::string exportErrorInChild(const std::function<void()>& restrict, const std::string& fileName,
                               const BitmapList& frames) {
    return textFromChild([&] {
        restrict();
        return exportError(fileName, frames, 10);
    });
}

// A disk limit that leaves room for all of the movie but its last byte.
constexpr rlim_t kAllButTheLastByte = 0;

} // namespace

TEST(MovieExport, StreamMatchesFramesRateAndSize) {
    struct Case {
        double fps;
        int frames;
        const char* rate;
    };
    const Case cases[] = {{10, 3, "10/1"}, {2.9, 2, "2/1"}, {0.5, 4, "1/2"}, {200, 1, "200/1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fps);
        TempDir dir("avi");
        FrameStore store;
        for (int i = 0; i < c.frames; ++i)
            store.add(detailedFrame(48, 32, i));
        std::vector<int> gauge;
        exportAvi(dir.file("movie.avi"), store, c.fps, 10000, [&](int v) { gauge.push_back(v); });
        auto stream = probeMovie(dir.file("movie.avi"));
        EXPECT_EQ(stream["codec_name"], "mjpeg");
        EXPECT_EQ(stream["codec_tag_string"], "MJPG");
        EXPECT_EQ(stream["width"], "48");
        EXPECT_EQ(stream["height"], "32");
        EXPECT_EQ(stream["r_frame_rate"], c.rate);
        EXPECT_EQ(stream["nb_read_frames"], std::to_string(c.frames));
        std::vector<int> expectedGauge;
        expectedGauge.reserve(static_cast<size_t>(c.frames) + 1);
        for (int i = 0; i < c.frames; ++i)
            expectedGauge.push_back(i);
        expectedGauge.push_back(0);
        EXPECT_EQ(gauge, expectedGauge);
        EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"movie.avi"});
    }
}

TEST(MovieExport, FidelityFallsWithQualityAndTopQualityIsNearLossless) {
    TempDir dir("avi");
    FrameStore store;
    for (int i = 0; i < 3; ++i)
        store.add(detailedFrame(96, 64, i));
    double previous = 100;
    for (int quality : {10000, 9000, 8000, 6500, 4000, 1000, 0}) {
        SCOPED_TRACE(quality);
        exportAvi(dir.file("q.avi"), store, 10, quality, nullptr);
        const std::string rgb = decodeMovieRgb(dir.file("q.avi"));
        double worst = 100;
        for (int i = 0; i < store.count(); ++i)
            worst = std::min(worst, framePsnr(rgb, i, *store.get(i)));
        if (quality == 10000) {
            EXPECT_GE(worst, 40.0);
        }
        EXPECT_LT(worst, previous);
        previous = worst;
    }
}

TEST(MovieExport, FramesOfOtherSizesAndFormatsBecomeTheFirstFramesSize) {
    TempDir dir("avi");
    const Bitmap first = detailedFrame(64, 48, 1);
    Bitmap paletted = detailedFrame(64, 48, 2);
    paletted.setPixelFormat(PixelFormat::Bit8);
    const Bitmap wide = detailedFrame(100, 30, 3);
    FrameStore store;
    store.add(first);
    store.add(paletted);
    store.add(wide);
    store.add(Bitmap());
    exportAvi(dir.file("mixed.avi"), store, 10, 10000, nullptr);

    auto stream = probeMovie(dir.file("mixed.avi"));
    EXPECT_EQ(stream["width"], "64");
    EXPECT_EQ(stream["height"], "48");
    EXPECT_EQ(stream["nb_read_frames"], "4");
    Bitmap paletted24 = paletted;
    paletted24.convertTo24();
    Bitmap resized = wide;
    resizeBitmap(resized, 64, 48, nullptr, ResampleFilter::Mitchell);
    const std::string rgb = decodeMovieRgb(dir.file("mixed.avi"));
    EXPECT_GE(framePsnr(rgb, 0, first), 40.0);
    EXPECT_GE(framePsnr(rgb, 1, paletted24), 40.0);
    EXPECT_GE(framePsnr(rgb, 2, resized), 40.0);
    EXPECT_GE(framePsnr(rgb, 3, Bitmap(64, 48)), 40.0) << "an empty frame is a black frame";
}

TEST(MovieExport, FailuresNameTheStepAndLeaveNoFileBehind) {
    struct Case {
        const char* name;
        int frames;
        double fps;
        bool emptyFirst;
        const char* message;
    };
    const Case cases[] = {
        {"movie.avi", 0, 10, false, "No Movie To Save"},
        {"movie", 2, 10, false, "Unable to create AVI file (\"\"): Unregistered File Type"},
        {"movie.mov", 2, 10, false, "Unable to create AVI file (\".mov\"): Unregistered File Type"},
        {"missing/movie.avi", 2, 10, false,
         "Unable to create AVI file (\".avi\"): Disk open error."},
        {"folder.avi", 2, 10, false, "Unable to create AVI file (\".avi\"): Disk open error."},
        {"old.avi", 2, 0, false, "Unable to create AVI stream: Bad Parameters"},
        {"old.avi", 2, 10, true, "Unable to create Compression Stream: Bad size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir("avi");
        std::filesystem::create_directory(dir.file("folder.avi"));
        writeFile(dir.file("old.avi"), "old movie");
        FrameStore store;
        for (int i = 0; i < c.frames; ++i)
            store.add(i == 0 && c.emptyFirst ? Bitmap() : detailedFrame(16, 16, i));
        EXPECT_EQ(exportError(dir.file(c.name), store, c.fps), c.message);
        EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"folder.avi", "old.avi"}));
        EXPECT_EQ(readFile(dir.file("old.avi")), "old movie");
    }
}

TEST(MovieExport, UnwritableFolderFailsAtTheFileAndKeepsTheOldOne) {
    TempDir dir("avi");
    chmod(dir.path().c_str(), 0711);
    const std::string locked = dir.file("locked");
    std::filesystem::create_directory(locked);
    writeFile(locked + "/movie.avi", "old movie");
    chmod(locked.c_str(), 0555);
    FrameStore store;
    store.add(detailedFrame(16, 16, 0));
    loadMovieModule();
    EXPECT_EQ(exportErrorInChild([] { dropPrivileges(); }, locked + "/movie.avi", store),
              "Unable to create AVI file (\".avi\"): Disk open error.");
    EXPECT_EQ(readFile(locked + "/movie.avi"), "old movie");
    EXPECT_EQ(folderEntries(locked), std::vector<std::string>{"movie.avi"});
    chmod(locked.c_str(), 0755);
}

TEST(MovieExport, FullDiskFailsTheExportAndKeepsTheOldFile) {
    struct Case {
        int frames;
        int side;
        rlim_t limit;
        const char* message;
    };
    const Case cases[] = {
        // The disk fills while the frames are written...
        {12, 160, 200'000, "Unable to write AVI Frame: File write error"},
        // ...or only as the movie is completed.
        {1, 16, kAllButTheLastByte, "Unable to create AVI file (\".avi\"): File write error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        TempDir dir("avi");
        writeFile(dir.file("movie.avi"), "old movie");
        FrameStore store;
        for (int i = 0; i < c.frames; ++i)
            store.add(detailedFrame(c.side, c.side, i));
        rlim_t limit = c.limit;
        if (limit == kAllButTheLastByte) {
            exportAvi(dir.file("whole.avi"), store, 10, 10000, nullptr);
            limit = std::filesystem::file_size(dir.file("whole.avi")) - 1;
            std::filesystem::remove(dir.file("whole.avi"));
        }
        EXPECT_EQ(exportErrorInChild([&] { limitFileSize(limit); }, dir.file("movie.avi"), store),
                  c.message);
        EXPECT_EQ(readFile(dir.file("movie.avi")), "old movie");
        EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"movie.avi"});
    }
}

TEST(MovieExport, ReplacesAnOldFileKeepingItsPermissions) {
    TempDir dir("avi");
    writeFile(dir.file("movie.avi"), "old movie");
    chmod(dir.file("movie.avi").c_str(), 0640);
    FrameStore store;
    store.add(detailedFrame(16, 16, 0));
    exportAvi(dir.file("movie.avi"), store, 10, 10000, nullptr);
    EXPECT_EQ(probeMovie(dir.file("movie.avi"))["nb_read_frames"], "1");
    struct stat st {};
    ASSERT_EQ(stat(dir.file("movie.avi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"movie.avi"});
}

// Movies over 1 GiB need the OpenDML header and its reserved index space, which the muxer writes
// only when it can seek in the output.
TEST(MovieExport, MovieIsPreparedForOpenDmlIndexes) {
    TempDir dir("avi");
    FrameStore store;
    store.add(detailedFrame(16, 16, 0));
    exportAvi(dir.file("movie.avi"), store, 10, 10000, nullptr);
    const std::string bytes = readFile(dir.file("movie.avi"));
    EXPECT_NE(bytes.find("odmldmlh"), std::string::npos);
    const size_t reserved = bytes.find("JUNK");
    ASSERT_NE(reserved, std::string::npos);
    EXPECT_EQ(bytes.substr(reserved + 16, 4), "00dc") << "space for the stream's super index";
}
