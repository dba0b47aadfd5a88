// Frames for movie tests and the reference tools that read movies back: ffprobe for the stream,
// ffmpeg for the decoded pixels, and the PSNR of decoded frames against the originals.
#pragma once

#include "core/image/Bitmap.h"
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

// The first video stream as ffprobe reads it, with the frames counted by decoding.
inline std::map<std::string, std::string> probeMovie(const std::string& path) {
    const CommandResult r =
        runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_read_frames "
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

// PSNR in dB of decoded frame `index` (width x height) against a 24-bit bitmap of that size.
inline double framePsnr(const std::string& rgb, int index, const Bitmap& expected) {
    const int w = expected.width(), h = expected.height();
    const size_t frameSize = static_cast<size_t>(w) * h * 3;
    if (rgb.size() < (static_cast<size_t>(index) + 1) * frameSize)
        return 0;
    const auto* decoded = reinterpret_cast<const uint8_t*>(rgb.data()) + index * frameSize;
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* bgr = expected.scanLine(y);
        const uint8_t* got = decoded + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = static_cast<double>(got[3 * x + c]) - bgr[3 * x + 2 - c];
                sum += d * d;
            }
    }
    const double mse = sum / static_cast<double>(frameSize);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace kestrix::test
