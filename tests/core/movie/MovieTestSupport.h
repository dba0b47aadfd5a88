// Frames for movie tests and the reference tools that read movies back: ffprobe for the stream,
// ffmpeg for the decoded pixels, the PSNR of decoded frames against the originals, and the
// boxes of an MP4 file.
#pragma once

#include "core/image/Bitmap.h"
#include "core/movie/MovieWriter.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kestrix::test {

// Opens the movie module in the test's own process before a child gives up root: the child
// inherits it, whereas the unprivileged child could not open it itself when the checkout lies
// in a home that only root may enter (mode 700, as /root).
inline void loadMovieModule() {
    makeMovieWriter(MovieFormat::Avi, MovieOptions{});
}

// The first video stream as ffprobe reads it, with the frames counted by decoding.
inline std::map<std::string, std::string> probeMovie(const std::string& path) {
    const CommandResult r =
        runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,codec_tag_string,profile,pix_fmt,width,height,r_frame_rate,"
                   "duration,nb_read_frames "
                   "-of default=noprint_wrappers=1 '" +
                   path + "'");
    EXPECT_EQ(r.status, 0) << "ffprobe failed on " << path;
    std::map<std::string, std::string> fields;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

// Every frame decoded by ffmpeg as packed RGB rows, top row first.
inline std::string decodeMovieRgb(const std::string& path) {
    const CommandResult r =
        runCommand("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 -");
    EXPECT_EQ(r.status, 0) << "ffmpeg failed on " << path;
    return r.out;
}

// A picture as a camera takes it: soft shapes, fine texture and a little sensor noise.
inline Bitmap photoFrame(int width, int height, int seed) {
    Bitmap b(width, height);
    uint32_t state = static_cast<uint32_t>(seed) * 7919u + 1u;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = b.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            const double noise = static_cast<double>(state >> 29) - 3.5;
            const double u = x + 3.0 * seed, v = y;
            const double base = 110 + 50 * std::sin(u / 70.0) * std::cos(v / 55.0);
            const double texture = 18 * std::sin(u / 6.0 + std::cos(v / 9.0));
            p[0] = static_cast<uint8_t>(std::clamp(base + 30 * v / height + noise, 0.0, 255.0));
            p[1] = static_cast<uint8_t>(std::clamp(base + texture + noise, 0.0, 255.0));
            p[2] = static_cast<uint8_t>(
                std::clamp(base + 40 * std::cos(u / 30.0) + texture / 2 + noise, 0.0, 255.0));
        }
    }
    return b;
}

// The top-level boxes of an MP4 file, in order.
inline std::vector<std::string> mp4Boxes(const std::string& bytes) {
    std::vector<std::string> boxes;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint64_t size = 0;
        for (int i = 0; i < 4; ++i)
            size = size << 8 | static_cast<uint8_t>(bytes[at + i]);
        boxes.push_back(bytes.substr(at + 4, 4));
        if (size < 8)
            break;
        at += size;
    }
    return boxes;
}

// PSNR in dB of decoded frame `index` against a 24-bit bitmap, over the bitmap's size. The
// decoded frames are `storedWidth` x `storedHeight` (0: the bitmap's size), as a movie that
// pads odd sizes stores them.
inline double framePsnr(const std::string& rgb, int index, const Bitmap& expected,
                        int storedWidth = 0, int storedHeight = 0) {
    const int w = expected.width(), h = expected.height();
    const int sw = storedWidth > 0 ? storedWidth : w, sh = storedHeight > 0 ? storedHeight : h;
    const size_t frameSize = static_cast<size_t>(sw) * sh * 3;
    if (rgb.size() < (static_cast<size_t>(index) + 1) * frameSize)
        return 0;
    const auto* decoded = reinterpret_cast<const uint8_t*>(rgb.data()) + index * frameSize;
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* bgr = expected.scanLine(y);
        const uint8_t* got = decoded + static_cast<size_t>(y) * sw * 3;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = static_cast<double>(got[3 * x + c]) - bgr[3 * x + 2 - c];
                sum += d * d;
            }
    }
    const double mse = sum / (3.0 * w * h);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace kestrix::test
