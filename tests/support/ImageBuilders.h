// Test pictures, and hand-built GIF and PNG files: broken ones can be made on purpose, and tests
// that serve images need no encoder of their own.
#pragma once

#include "core/image/Bitmap.h"
#include "core/util/ByteReader.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

namespace kestrix::test {

// A w x h bitmap of one grey level.
inline Bitmap greyBitmap(uint8_t v, int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        std::fill(b.scanLine(y), b.scanLine(y) + static_cast<size_t>(w) * 3, v);
    return b;
}

// A w x h bitmap of one colour, given as blue, green, red.
inline Bitmap solidBitmap(uint8_t b, uint8_t g, uint8_t r, int w, int h) {
    Bitmap bm(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = bm.scanLine(y) + 3 * x;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return bm;
}

// A 24-bit bitmap whose byte i of row y is seed + i * xStep + y * yStep (wrapping): every byte
// differs from its neighbours, so a shifted or swapped row shows.
inline Bitmap rampBitmap(int w, int h, int xStep = 7, int yStep = 1, int seed = 0) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            b.scanLine(y)[x] = static_cast<uint8_t>(seed + x * xStep + y * yStep);
    return b;
}

// Colour waves of several frequencies with noise on top: detail in every channel, which
// subsampled chroma and coarse quantisation both lose.
inline Bitmap detailedFrame(int width, int height, int seed) {
    Bitmap b(width, height);
    uint32_t state = static_cast<uint32_t>(seed) * 7919u + 1u;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = b.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            const double noise = static_cast<double>(state >> 27) - 16.0;
            const double r = 128 + 100 * std::sin(x / 13.0 + seed) * std::cos(y / 17.0);
            const double g = 128 + 100 * std::sin((x + y) / 9.0 - seed);
            const double bl = 128 + 100 * std::cos(x / 5.0) * std::sin(y / 7.0 + seed);
            p[0] = static_cast<uint8_t>(std::clamp(bl + noise, 0.0, 255.0));
            p[1] = static_cast<uint8_t>(std::clamp(g + noise, 0.0, 255.0));
            p[2] = static_cast<uint8_t>(std::clamp(r + noise, 0.0, 255.0));
        }
    }
    return b;
}

// ---- PNG ----

inline void putU32BigEndian(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

inline std::string pngChunk(const std::string& type, const std::string& data, bool goodCrc = true) {
    std::string out;
    putU32BigEndian(out, static_cast<uint32_t>(data.size()));
    out += type + data;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    putU32BigEndian(out, static_cast<uint32_t>(goodCrc ? crc : crc ^ 1));
    return out;
}

inline std::string ihdr(uint32_t w, uint32_t h, int depth, int colorType, int interlace = 0) {
    std::string d;
    putU32BigEndian(d, w);
    putU32BigEndian(d, h);
    d += static_cast<char>(depth);
    d += static_cast<char>(colorType);
    d += std::string(2, '\0');
    d += static_cast<char>(interlace);
    return pngChunk("IHDR", d);
}

inline std::string zlibCompress(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

inline const std::string kPngSignature{"\x89PNG\r\n\x1A\n", 8};

// A PNG of the given header chunk, extra chunks and raw (filtered) scan lines.
inline std::string makePng(const std::string& header, const std::string& extra,
                           const std::string& scanLines) {
    return kPngSignature + header + extra + pngChunk("IDAT", zlibCompress(scanLines)) +
           pngChunk("IEND", "");
}

// ---- GIF ----

// Packs (code, width) pairs least significant bit first and splits them into sub-blocks.
inline std::string gifCodes(const std::vector<std::pair<int, int>>& codes) {
    std::string bytes;
    uint32_t acc = 0;
    int held = 0;
    for (auto [code, width] : codes) {
        acc |= static_cast<uint32_t>(code) << held;
        held += width;
        while (held >= 8) {
            bytes += static_cast<char>(acc & 0xFF);
            acc >>= 8;
            held -= 8;
        }
    }
    if (held > 0)
        bytes += static_cast<char>(acc & 0xFF);
    std::string blocks;
    for (size_t at = 0; at < bytes.size(); at += 255) {
        const std::string part = bytes.substr(at, 255);
        blocks += static_cast<char>(part.size());
        blocks += part;
    }
    return blocks + '\0';
}

// LZW data that never grows its codes: literal codes only, with a clear code before the table
// would need a wider code.
inline std::string gifLiteralData(const std::vector<uint8_t>& pixels, int minCodeSize = 8) {
    const int clear = 1 << minCodeSize;
    std::vector<std::pair<int, int>> codes{{clear, minCodeSize + 1}};
    int sinceClear = 0;
    for (uint8_t p : pixels) {
        if (sinceClear == clear - 2) {
            codes.emplace_back(clear, minCodeSize + 1);
            sinceClear = 0;
        }
        codes.emplace_back(p, minCodeSize + 1);
        ++sinceClear;
    }
    codes.emplace_back(clear + 1, minCodeSize + 1);
    return std::string(1, static_cast<char>(minCodeSize)) + gifCodes(codes);
}

inline std::string colorTable(const std::vector<Color>& colors) {
    std::string t;
    for (const Color& c : colors)
        t += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
    return t;
}

// Table size bits for a table of 2^(bits+1) entries; the table is padded with black.
inline int tableBits(std::vector<Color>& colors) {
    int bits = 0;
    while ((size_t{2} << bits) < colors.size())
        ++bits;
    colors.resize(size_t{2} << bits);
    return bits;
}

struct GifBuilder {
    std::string bytes;

    explicit GifBuilder(int w, int h, std::vector<Color> global = {},
                        const char* version = "GIF89a") {
        bytes = version;
        putU16(bytes, static_cast<uint16_t>(w));
        putU16(bytes, static_cast<uint16_t>(h));
        if (global.empty()) {
            bytes += std::string(3, '\0');
        } else {
            const int bits = tableBits(global);
            bytes += static_cast<char>(0x80 | bits);
            bytes += std::string(2, '\0');
            bytes += colorTable(global);
        }
    }
    GifBuilder& control(bool transparency, int index, int delay = 0, int disposal = 0) {
        bytes += "\x21\xF9\x04";
        bytes += static_cast<char>((disposal << 2) | (transparency ? 1 : 0));
        putU16(bytes, static_cast<uint16_t>(delay));
        bytes += static_cast<char>(index);
        bytes += '\0';
        return *this;
    }
    // An image descriptor, an optional local table, then `data` (code size and sub-blocks).
    GifBuilder& image(int left, int top, int w, int h, const std::string& data,
                      std::vector<Color> local = {}, bool interlaced = false) {
        bytes += ',';
        for (int v : {left, top, w, h})
            putU16(bytes, static_cast<uint16_t>(v));
        int packed = interlaced ? 0x40 : 0;
        std::string table;
        if (!local.empty()) {
            packed |= 0x80 | tableBits(local);
            table = colorTable(local);
        }
        bytes += static_cast<char>(packed);
        bytes += table + data;
        return *this;
    }
    GifBuilder& pixels(int left, int top, int w, int h, const std::vector<uint8_t>& px,
                       std::vector<Color> local = {}) {
        return image(left, top, w, h, gifLiteralData(px), std::move(local));
    }
    std::string done() const { return bytes + ';'; }
};

} // namespace kestrix::test
