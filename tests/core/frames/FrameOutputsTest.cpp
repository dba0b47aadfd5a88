// What the frame commands write, pinned to the byte: a corpus of frames made from fixed seeds
// (odd widths whose rows carry padding, palette and 15/16/32-bit frames, run-length coded
// records, repeats, flashes, black bottoms, another size, an empty frame) is saved, loaded,
// searched for flaws and duplicates and averaged, by the library and by kestrix-cli, on one thread
// and on several. Each output's checksum was taken from the program before its loading and
// comparing were made faster; any change to what is written shows here.
#include "core/frames/FramesFile.h"
#include "core/image/BmpCodec.h"
#include "core/tools/FrameCompare.h"
#include "core/util/ByteReader.h"
#include "support/TempDir.h"
#include "support/ThreadsSetting.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// FNV-1a, 64 bits, as 16 hex digits.
std::string checksum(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

struct Random {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

// A scene that pans by `shift` pixels, with noise from `seed`.
Bitmap scene(int w, int h, int shift, uint32_t seed) {
    Bitmap b(w, h);
    Random rng{seed};
    for (int y = 0; y < h; ++y) {
        uint8_t* p = b.scanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const int noise = static_cast<int>(rng.next() % 9) - 4;
            const int u = x + shift;
            p[0] = static_cast<uint8_t>(100 + (u * 3 + y) % 90 + noise);
            p[1] = static_cast<uint8_t>(80 + (u * y / 7) % 120 + noise);
            p[2] = static_cast<uint8_t>(60 + ((u / 5 + y / 3) % 2) * 100 + noise);
        }
    }
    return b;
}

// A run-length coded 8-bit BMP: runs, absolute runs, a delta that skips pixels, rows ended early
// and an image ended before its last rows: every pixel not coded is index 0.
std::string runLengthBmp(int w, int h, uint32_t seed) {
    Random rng{seed};
    std::string data;
    for (int row = 0; row < h - 2; ++row) {
        int x = 0;
        while (x < w - 6) {
            const uint32_t kind = rng.next() % 4;
            if (kind == 0) {
                const int n = 1 + static_cast<int>(rng.next() % 5);
                data += static_cast<char>(n);
                data += static_cast<char>(rng.next() % 16);
                x += n;
            } else if (kind == 1) {
                data += std::string("\0\3", 2);
                for (int k = 0; k < 3; ++k)
                    data += static_cast<char>(rng.next() % 16);
                data += '\0'; // to a whole word
                x += 3;
            } else if (kind == 2 && row + 1 < h - 2) {
                data += std::string("\0\2\2\0", 4); // two pixels right
                x += 2;
            } else {
                break; // the rest of the row stays index 0
            }
        }
        data += std::string("\0\0", 2);
    }
    data += std::string("\0\1", 2);
    std::string palette;
    for (int i = 0; i < 16; ++i)
        palette += std::string{static_cast<char>(i * 16), static_cast<char>(255 - i * 9),
                               static_cast<char>(i * 5), 0};
    std::string out = "BM";
    const auto offBits = static_cast<uint32_t>(14 + 40 + palette.size());
    putU32(out, offBits + static_cast<uint32_t>(data.size()));
    putU32(out, 0);
    putU32(out, offBits);
    putU32(out, 40);
    putU32(out, static_cast<uint32_t>(w));
    putU32(out, static_cast<uint32_t>(h));
    putU16(out, 1);
    putU16(out, 8);
    putU32(out, 1); // RLE8
    putU32(out, static_cast<uint32_t>(data.size()));
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 16);
    putU32(out, 0);
    return out + palette + data;
}

// Forty frames of a camera, with what the tools look for.
void cameraFrames(FrameStore& frames) {
    frames.clear();
    for (int i = 0; i < 40; ++i) {
        Bitmap f = scene(61, 47, 2 * i, 1000u + static_cast<uint32_t>(i) / 2);
        if (i % 13 == 6)
            f.fill(Color{250, 250, 240}); // a flash
        if (i == 17)
            f.fillRect({0, 25, 61, 47}, Color{2, 1, 3}); // a black bottom
        if (i == 9 || i == 10)
            f = *frames.get(8); // repeats
        if (i == 21)
            f.setPixelFormat(PixelFormat::Bit8);
        if (i == 23)
            f.setPixelFormat(PixelFormat::Bit4);
        if (i == 25)
            f.setPixelFormat(PixelFormat::Bit16);
        if (i == 27)
            f.setPixelFormat(PixelFormat::Bit15);
        if (i == 29)
            f.setPixelFormat(PixelFormat::Bit32);
        if (i == 31)
            f.setPixelFormat(PixelFormat::Bit1);
        if (i == 33)
            f = scene(50, 39, 7, 77);
        frames.addTimed(f, 45000.0 + i);
    }
}

// The camera frames, then records written by hand: run-length coded frames and an empty one.
std::string corpusFile(const std::string& camera) {
    int32_t count = 0;
    for (int k = 0; k < 4; ++k)
        count = static_cast<int32_t>(camera[static_cast<size_t>(k)] & 0xFF) << (8 * k) | count;
    std::string out;
    putU32(out, static_cast<uint32_t>(count + 4));
    out += camera.substr(4);
    for (uint32_t seed : {5u, 6u, 7u}) {
        const std::string image = runLengthBmp(61, 47, seed);
        putU32(out, static_cast<uint32_t>(image.size()));
        out += image;
    }
    putU32(out, 0);
    return out;
}

struct Outputs {
    std::string framesFile, resaved, flaws, flawsNoBlack, duplicates, average;
};

Outputs libraryOutputs(const TempDir& dir) {
    Outputs o;
    FrameStore frames;
    cameraFrames(frames);
    saveToFile(frames, dir.file("camera.ifrm"), nullptr);
    writeFile(dir.file("corpus.ifrm"), corpusFile(readFile(dir.file("camera.ifrm"))));
    o.framesFile = checksum(readFile(dir.file("camera.ifrm")));
    // Loaded over frames of other sizes, whose memory the new frames reuse.
    loadFromFile(frames, dir.file("corpus.ifrm"), nullptr);
    saveToFile(frames, dir.file("resaved.ifrm"), nullptr);
    o.resaved = checksum(readFile(dir.file("resaved.ifrm")));
    o.flaws = listText(findFlawedFrames(frames, {0.07, true}, nullptr));
    loadFromFile(frames, dir.file("corpus.ifrm"), nullptr);
    o.flawsNoBlack = listText(findFlawedFrames(frames, {0.07, false}, nullptr));
    loadFromFile(frames, dir.file("corpus.ifrm"), nullptr);
    o.duplicates = listText(findDuplicateFrames(frames, nullptr));
    Bitmap mean;
    averageFrames(frames, mean, nullptr);
    o.average = checksum(writeBmp(mean));
    return o;
}

} // namespace

TEST(FrameOutputs, LibraryOutputsKeepTheirChecksums) {
    TempDir dir("outputs");
    for (const char* threads : {"1", "2", "8"}) {
        SCOPED_TRACE(threads);
        ThreadsSetting setting(threads);
        const Outputs o = libraryOutputs(dir);
        EXPECT_EQ(o.framesFile, "230f06ac512a676c");
        EXPECT_EQ(o.resaved, "893694e7a5d48e91");
        EXPECT_EQ(o.flaws, "2,3,4,5,7,13,14,15,16,18,19,20,22,26,27,28\r\n29,30,33,36,37,38,39,");
        EXPECT_EQ(o.flawsNoBlack,
                  "2,3,4,5,7,13,14,15,16,18,19,20,22,26,27,28\r\n29,30,33,36,37,38,39,");
        EXPECT_EQ(o.duplicates, "10,11,20,33,");
        EXPECT_EQ(o.average, "fa62f4b4cd776e6e");
    }
}

TEST(FrameOutputs, CommandOutputsKeepTheirChecksums) {
    TempDir dir("outputs");
    {
        FrameStore frames;
        cameraFrames(frames);
        saveToFile(frames, dir.file("camera.ifrm"), nullptr);
        writeFile(dir.file("corpus.ifrm"), corpusFile(readFile(dir.file("camera.ifrm"))));
    }
    const std::string cli = std::string(KESTRIX_CLI) + " frames ";
    const std::string corpus = dir.file("corpus.ifrm");
    for (const char* threads : {"1", "2", "8"}) {
        SCOPED_TRACE(threads);
        ThreadsSetting setting(threads);
        CommandResult r =
            runCommand(cli + "flaws " + corpus + " --quiet --delete " + dir.file("noflaws.ifrm"));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "2,3,4,5,7,13,14,15,16,18,19,20,22,26,27,28\r\n29,30,33,36,37,38,39,\n");
        EXPECT_EQ(checksum(readFile(dir.file("noflaws.ifrm"))), "27af6097dc3a93d0");
        r = runCommand(cli + "dups " + corpus + " --quiet --delete " + dir.file("once.ifrm"));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "10,11,20,33,\n");
        EXPECT_EQ(checksum(readFile(dir.file("once.ifrm"))), "aa2caa577a28c2c9");
        r = runCommand(cli + "average " + corpus + " --quiet " + dir.file("mean.bmp"));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(checksum(readFile(dir.file("mean.bmp"))), "fa62f4b4cd776e6e");
        r = runCommand(cli + "unpack " + corpus + " " + dir.file("unpacked"));
        EXPECT_EQ(r.status, 0);
        std::string frames;
        for (int i = 0; i < 44; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "unpacked/frame-%04d.bmp", i);
            frames += readFile(dir.file(name));
        }
        EXPECT_EQ(checksum(frames), "5094fd8d48426c29");
    }
}
