#include "core/frames/FramesFile.h"

#include "core/image/BmpCodec.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "support/Child.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"
#include "support/ThreadsSetting.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

Bitmap frame(int w, int h, uint8_t seed, PixelFormat format = PixelFormat::Bit24) {
    Bitmap b = rampBitmap(w, h, 3, 5, seed);
    if (format != PixelFormat::Bit24) {
        b.setPalette({{seed, 0, 0}, {0, seed, 0}, {0, 0, seed}, {9, 9, 9}});
        b.setPixelFormat(format);
    }
    return b;
}

std::string withCount(int32_t count, const std::string& records) {
    std::string out;
    putU32(out, static_cast<uint32_t>(count));
    return out + records;
}

std::string record(const std::string& image) {
    std::string out;
    putU32(out, static_cast<uint32_t>(image.size()));
    return out + image;
}

std::string failureOf(const std::string& path) {
    FrameStore frames;
    frames.addTimed(frame(2, 2, 1), 5.0);
    try {
        loadFromFile(frames, path, nullptr);
        return "none, " + std::to_string(frames.count()) + " frames";
    } catch (const Error& e) {
        return std::string(e.what()) + ", " + std::to_string(frames.count()) + " frames";
    }
}

} // namespace

TEST(FramesFile, ByteLayout) {
    TempDir dir;
    FrameStore empty;
    ASSERT_EQ(saveToFile(empty, dir.file("empty.ifrm"), nullptr), SaveOutcome::Complete);
    EXPECT_EQ(readFile(dir.file("empty.ifrm")), std::string(4, '\0'));

    FrameStore three;
    for (uint8_t i = 0; i < 3; ++i)
        three.addTimed(frame(320, 240, i), 1000.0 + i);
    std::vector<int> progress;
    saveToFile(three, dir.file("three.ifrm"), [&](int p) { progress.push_back(p); });
    const std::string bytes = readFile(dir.file("three.ifrm"));
    EXPECT_EQ(bytes.size(), 4u + 3 * (4 + 54 + 230400));
    EXPECT_EQ(bytes.substr(0, 4), std::string("\3\0\0\0", 4));
    EXPECT_EQ(bytes.substr(8, 2), "BM");
    EXPECT_EQ(progress, (std::vector<int>{0, 33, 67}));

    // A 3-pixel-wide frame has 12-byte rows; a palette frame keeps its table.
    FrameStore odd;
    odd.add(frame(3, 5, 7));
    odd.add(frame(5, 2, 9, PixelFormat::Bit8));
    saveToFile(odd, dir.file("odd.ifrm"), nullptr);
    const std::string o = readFile(dir.file("odd.ifrm"));
    EXPECT_EQ(o.size(), 4u + (4 + 54 + 12 * 5) + (4 + 54 + 4 * 4 + 8 * 2));

    FrameStore back;
    back.addTimed(frame(1, 1, 1), 3.0);
    loadFromFile(back, dir.file("odd.ifrm"), nullptr);
    ASSERT_EQ(back.count(), 2);
    EXPECT_EQ(back.get(0)->pixelBytes(), odd.get(0)->pixelBytes());
    EXPECT_EQ(back.get(1)->pixelFormat(), PixelFormat::Bit8);
    EXPECT_EQ(back.get(1)->palette(), odd.get(1)->palette());
    EXPECT_EQ(back.get(1)->pixelBytes(), odd.get(1)->pixelBytes());
    EXPECT_EQ(back.time(0), 0.0);
    EXPECT_EQ(back.time(1), 0.0);

    loadFromFile(back, dir.file("empty.ifrm"), nullptr);
    EXPECT_EQ(back.count(), 0);
}

TEST(FramesFile, NeverTrustsTheFile) {
    TempDir dir;
    const std::string good = record(writeBmp(frame(4, 3, 2)));
    const std::pair<std::string, std::string> cases[] = {
        {withCount(10, good + good + good + good), "none, 4 frames"},
        {std::string("\x01\x00", 2), "none, 0 frames"},
        {withCount(-1, good), "none, 0 frames"},
        {withCount(0x7FFFFFFF, good), "none, 1 frames"},
        {withCount(2, good + record("XX" + std::string(60, '\0'))),
         "Bitmap image is not valid, 1 frames"},
        {withCount(2, good + good.substr(0, 30)), "Stream read error, 1 frames"},
        {withCount(1, std::string("\xFF\xFF\xFF\x7F", 4) + "BM"), "Stream read error, 0 frames"},
        {withCount(1, std::string("\xFE\xFF\xFF\xFF", 4)), "Bitmap image is not valid, 0 frames"},
        {withCount(2, record("") + good), "none, 2 frames"},
    };
    int n = 0;
    for (const auto& [bytes, expected] : cases) {
        const std::string path = dir.file("case" + std::to_string(n++) + ".ifrm");
        writeFile(path, bytes);
        EXPECT_EQ(failureOf(path), expected) << n;
    }
    EXPECT_EQ(failureOf(dir.file("missing.ifrm")),
              "Cannot open file " + dir.file("missing.ifrm") + ", 1 frames");
}

TEST(FramesFile, FailuresStopTheLoadInOrderOnEveryThreadCount) {
    TempDir dir;
    // Good records of a few sizes: the first n of them.
    const auto good = [](int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += record(writeBmp(frame(5 + i % 3, 4, static_cast<uint8_t>(i))));
        return out;
    };
    const std::string bad = record("XX" + std::string(60, '\0'));
    const std::string tooShort = record("BM" + std::string(8, '\0'));
    const std::string cut = record(writeBmp(frame(3, 3, 1))).substr(0, 20);
    // Records are found ahead of decoding and decoded on several threads: the first failure in
    // file order decides, and every frame before it is kept.
    const std::pair<std::string, std::string> cases[] = {
        {withCount(18, good(5) + bad + good(12)), "Bitmap image is not valid, 5 frames"},
        {withCount(30, good(12) + bad + good(12) + cut), "Bitmap image is not valid, 12 frames"},
        {withCount(30, good(24) + cut), "Stream read error, 24 frames"},
        {withCount(30, good(12) + bad + cut), "Bitmap image is not valid, 12 frames"},
        {withCount(30, good(7) + tooShort + good(3)), "Stream read error, 7 frames"},
        {withCount(5, good(12)), "none, 5 frames"},
        {withCount(40, good(33)), "none, 33 frames"},
    };
    for (const char* threads : {"1", "2", "8"}) {
        ThreadsSetting setting(threads);
        int n = 0;
        for (const auto& [bytes, expected] : cases) {
            const std::string path = dir.file("case" + std::to_string(n++) + ".ifrm");
            writeFile(path, bytes);
            EXPECT_EQ(failureOf(path), expected) << threads << " threads, case " << n;
        }
    }
}

TEST(FramesFile, LoadingReusesTheMemoryOfTheFramesThere) {
    TempDir dir;
    FrameStore many;
    for (uint8_t i = 0; i < 20; ++i)
        many.add(frame(7 + i % 4, 5 + i % 3, i));
    many.add(Bitmap());
    many.add(frame(5, 2, 9, PixelFormat::Bit8));
    saveToFile(many, dir.file("many.ifrm"), nullptr);
    FrameStore fresh;
    loadFromFile(fresh, dir.file("many.ifrm"), nullptr);
    ASSERT_EQ(fresh.count(), 22);
    for (const char* threads : {"1", "2"}) {
        ThreadsSetting setting(threads);
        // Frames whose every byte is 0xFF, larger than those read.
        FrameStore used;
        for (int i = 0; i < 30; ++i) {
            Bitmap white(16, 16);
            white.fill({255, 255, 255});
            used.addTimed(white, 7.0);
        }
        const uint8_t* first = used.get(0)->pixelBytes().data();
        loadFromFile(used, dir.file("many.ifrm"), nullptr);
        ASSERT_EQ(used.count(), 22);
        EXPECT_EQ(used.get(0)->pixelBytes().data(), first);
        for (int i = 0; i < 22; ++i) {
            EXPECT_EQ(used.get(i)->pixelBytes(), fresh.get(i)->pixelBytes()) << i;
            EXPECT_EQ(used.get(i)->palette(), fresh.get(i)->palette()) << i;
            EXPECT_EQ(used.time(i), 0.0);
        }
        EXPECT_EQ(used.times().size(), 22u);
    }
}

TEST(FramesFile, AFullDiskKeepsWhatWasThere) {
    TempDir dir;
    FrameStore frames;
    for (uint8_t i = 0; i < 4; ++i)
        frames.add(frame(64, 64, i)); // 12,342 bytes a record
    // A new file: the frames written completely are kept and load.
    EXPECT_TRUE(inChild([&] {
        limitFileSize(30000);
        return saveToFile(frames, dir.file("new.ifrm"), nullptr) == SaveOutcome::OutOfDiskSpace;
    }));
    FrameStore back;
    loadFromFile(back, dir.file("new.ifrm"), nullptr);
    EXPECT_EQ(back.count(), 2);
    EXPECT_EQ(back.get(1)->pixelBytes(), frames.get(1)->pixelBytes());
    // An existing file stays as it was.
    FrameStore one;
    one.add(frame(8, 8, 42));
    saveToFile(one, dir.file("old.ifrm"), nullptr);
    const std::string before = readFile(dir.file("old.ifrm"));
    EXPECT_TRUE(inChild([&] {
        limitFileSize(30000);
        return saveToFile(frames, dir.file("old.ifrm"), nullptr) == SaveOutcome::OutOfDiskSpace;
    }));
    EXPECT_EQ(readFile(dir.file("old.ifrm")), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    // A folder that does not exist: the file cannot be created.
    try {
        saveToFile(one, dir.file("no/such.ifrm"), nullptr);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), "Cannot create file " + dir.file("no/such.ifrm"));
    }
}

TEST(FramesFile, CommandLine) {
    TempDir dir;
    writeFile(dir.file("a.bmp"), writeBmp(frame(6, 4, 3)));
    writeFile(dir.file("b.bmp"), writeBmp(frame(5, 2, 9, PixelFormat::Bit8)));
    const std::string cli = std::string(KESTRIX_CLI) + " frames ";
    EXPECT_EQ(runCommand(cli + "pack " + dir.file("x.ifrm") + " " + dir.file("a.bmp") + " " +
                         dir.file("b.bmp"))
                  .status,
              0);
    const CommandResult info = runCommand(cli + "info " + dir.file("x.ifrm"));
    EXPECT_EQ(info.out, "2\n6 x 4 24\n5 x 2 24\n"); // decoded as the loader does: 24-bit
    EXPECT_EQ(runCommand(cli + "unpack " + dir.file("x.ifrm") + " " + dir.file("out")).status, 0);
    EXPECT_EQ(readFile(dir.file("out/frame-0000.bmp")), writeBmp(frame(6, 4, 3)));
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/frame-0001.bmp")));
    EXPECT_EQ(runCommand(cli + "info " + dir.file("nope.ifrm") + " 2>/dev/null").status, 1);
}
