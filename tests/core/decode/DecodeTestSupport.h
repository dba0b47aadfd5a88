// Helpers for the decoder tests: pixel dumps and the reference tools on the machine (the
// hand-built files are in ImageBuilders.h).
#pragma once

#include "core/image/Bitmap.h"
#include "core/util/ByteReader.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

namespace kestrix::test {

// Debian's interpreter, which has Pillow and numpy; a missing tool fails the test.
constexpr const char* kPython = "/usr/bin/python3";

inline std::string decodeDataDir() {
    return std::string(KESTRIX_TEST_DATA) + "/decode";
}

// Runs a command that must succeed.
inline void run(const std::string& command) {
    const CommandResult r = runCommand(command + " 2>&1");
    ASSERT_EQ(r.status, 0) << command << "\n" << r.out;
}

// The bitmap's pixels as RGB bytes, rows top-down without padding.
inline std::string rgbBytes(const Bitmap& b) {
    Bitmap copy = b;
    copy.convertTo24();
    std::string out;
    out.reserve(static_cast<size_t>(b.width()) * b.height() * 3);
    for (int y = 0; y < copy.height(); ++y) {
        const uint8_t* row = copy.scanLine(y);
        for (int x = 0; x < copy.width(); ++x) {
            out += static_cast<char>(row[3 * x + 2]);
            out += static_cast<char>(row[3 * x + 1]);
            out += static_cast<char>(row[3 * x]);
        }
    }
    return out;
}

} // namespace kestrix::test
