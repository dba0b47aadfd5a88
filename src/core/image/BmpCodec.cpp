#include "core/image/BmpCodec.h"

#include "core/util/AtomicFile.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kestrix {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

[[noreturn]] void invalidBmp() {
    throw Error("Bitmap image is not valid", ErrorKind::InvalidImage);
}

struct Header {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = kRgb;
    uint32_t colorsUsed = 0;
    uint32_t masks[3] = {0, 0, 0}; // red, green, blue
    size_t paletteStart = 0;
    size_t paletteEntrySize = 4;
};

// One channel of a bit-field layout, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0)
            return;
        shift = std::countr_zero(m);
        bits = 32 - std::countl_zero(m >> shift);
    }
    uint8_t operator()(uint32_t v) const {
        if (bits == 0)
            return 0;
        uint32_t x = (v & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(x >> (bits - 8));
        return static_cast<uint8_t>(x * 255u / ((1u << bits) - 1));
    }
};

Header readHeader(ByteReader& r) {
    Header h;
    const size_t start = r.position();
    const uint32_t size = r.u32();
    if (size < 12 || (size > 12 && size < 40) || size > r.size() - start)
        invalidBmp();
    int64_t width, height;
    if (size == 12) {
        width = r.u16();
        height = r.i16();
        r.u16(); // planes
        h.bpp = r.u16();
        h.paletteEntrySize = 3;
    } else {
        width = r.i32();
        height = r.i32();
        r.u16();
        h.bpp = r.u16();
        h.compression = r.u32();
        r.skip(12); // image size and resolutions
        h.colorsUsed = r.u32();
        r.u32();
        if (size >= 52)
            for (auto& m : h.masks)
                m = r.u32();
    }
    h.paletteStart = start + size;
    if ((h.compression == kBitFields || h.compression == kAlphaBitFields) && size == 40) {
        r.seek(h.paletteStart);
        for (auto& m : h.masks)
            m = r.u32();
        h.paletteStart += h.compression == kAlphaBitFields ? 16 : 12;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN)
        invalidBmp();
    h.topDown = height < 0;
    height = height < 0 ? -height : height;
    checkImageSize(width, height);
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    switch (h.bpp) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        invalidBmp();
    }
    const bool rleOk =
        (h.compression == kRle8 && h.bpp == 8) || (h.compression == kRle4 && h.bpp == 4);
    const bool fieldsOk = (h.compression == kBitFields || h.compression == kAlphaBitFields) &&
                          (h.bpp == 16 || h.bpp == 32);
    if (h.compression != kRgb && !rleOk && !fieldsOk)
        invalidBmp();
    if (rleOk && h.topDown)
        invalidBmp();
    return h;
}

std::vector<Color> readPalette(ByteReader& r, const Header& h) {
    std::vector<Color> palette;
    if (h.bpp > 8)
        return palette;
    uint32_t full = 1u << h.bpp;
    uint32_t n = h.colorsUsed == 0 ? full : std::min(h.colorsUsed, full);
    r.seek(h.paletteStart);
    for (uint32_t i = 0; i < n; ++i) {
        auto e = r.bytes(h.paletteEntrySize);
        palette.push_back(
            {static_cast<uint8_t>(e[2]), static_cast<uint8_t>(e[1]), static_cast<uint8_t>(e[0])});
    }
    return palette;
}

PixelFormat formatFor(const Header& h) {
    if (h.bpp <= 8)
        return h.bpp == 1 ? PixelFormat::Bit1 : h.bpp == 4 ? PixelFormat::Bit4 : PixelFormat::Bit8;
    if (h.bpp == 24)
        return PixelFormat::Bit24;
    bool fields = h.compression == kBitFields || h.compression == kAlphaBitFields;
    auto is = [&](uint32_t r, uint32_t g, uint32_t b) {
        return h.masks[0] == r && h.masks[1] == g && h.masks[2] == b;
    };
    if (h.bpp == 16)
        return !fields || is(0x7C00, 0x3E0, 0x1F) ? PixelFormat::Bit15
               : is(0xF800, 0x7E0, 0x1F)          ? PixelFormat::Bit16
                                                  : PixelFormat::Bit24;
    return !fields || is(0xFF0000, 0xFF00, 0xFF) ? PixelFormat::Bit32 : PixelFormat::Bit24;
}

void readUncompressed(ByteReader& r, const Header& h, Bitmap& out) {
    const size_t srcStride = strideFor(h.width, h.bpp);
    const size_t used = (static_cast<size_t>(h.width) * static_cast<size_t>(h.bpp) + 7) / 8;
    const bool decodeFields = out.pixelFormat() == PixelFormat::Bit24 && h.bpp != 24;
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    for (int i = 0; i < h.height; ++i) {
        // The last row may lack its padding.
        std::string_view row = r.bytes(i + 1 == h.height ? used : srcStride);
        uint8_t* dst = out.scanLine(h.topDown ? i : h.height - 1 - i);
        if (!decodeFields) {
            std::memcpy(dst, row.data(), used);
            continue;
        }
        const int bytes = h.bpp / 8;
        for (int x = 0; x < h.width; ++x) {
            uint32_t v = 0;
            for (int k = bytes - 1; k >= 0; --k)
                v = (v << 8) |
                    static_cast<uint8_t>(row[static_cast<size_t>(x) * static_cast<size_t>(bytes) +
                                             static_cast<size_t>(k)]);
            dst[3 * x] = blue(v);
            dst[3 * x + 1] = green(v);
            dst[3 * x + 2] = red(v);
        }
    }
}

void putIndex(Bitmap& out, int bpp, int x, int yFromBottom, unsigned index) {
    if (x < 0 || x >= out.width() || yFromBottom < 0 || yFromBottom >= out.height())
        return;
    uint8_t* row = out.scanLine(out.height() - 1 - yFromBottom);
    if (bpp == 8) {
        row[x] = static_cast<uint8_t>(index);
    } else {
        uint8_t& b = row[x >> 1];
        if (x & 1)
            b = static_cast<uint8_t>((b & 0xF0) | (index & 15));
        else
            b = static_cast<uint8_t>((b & 0x0F) | ((index & 15) << 4));
    }
}

// Run-length coded rows; runs and deltas that leave the image are clipped, and a missing
// end-of-bitmap mark ends the image where the data ends.
void readRle(ByteReader& r, const Header& h, Bitmap& out) {
    int x = 0, y = 0;
    while (r.remaining() >= 2 && y < h.height) {
        unsigned n = r.u8(), c = r.u8();
        if (n > 0) {
            for (unsigned k = 0; k < n; ++k, ++x)
                putIndex(out, h.bpp, x, y, h.bpp == 8 ? c : (k & 1 ? c & 15 : c >> 4));
        } else if (c == 0) {
            x = 0;
            ++y;
        } else if (c == 1) {
            return;
        } else if (c == 2) {
            if (r.remaining() < 2)
                return;
            x += r.u8();
            y += r.u8();
        } else {
            size_t bytes = h.bpp == 8 ? c : (c + 1) / 2;
            size_t padded = (bytes + 1) & ~size_t{1};
            if (r.remaining() < bytes)
                return;
            std::string_view run = r.bytes(bytes);
            r.skip(std::min(padded - bytes, r.remaining()));
            for (unsigned k = 0; k < c; ++k, ++x) {
                auto b = static_cast<uint8_t>(run[h.bpp == 8 ? k : k / 2]);
                putIndex(out, h.bpp, x, y, h.bpp == 8 ? b : (k & 1 ? b & 15 : b >> 4));
            }
        }
    }
}

void decodeInto(std::string_view data, Bitmap& out) {
    if (data.size() < 2 || data[0] != 'B' || data[1] != 'M')
        invalidBmp();
    ByteReader r(data);
    r.skip(10);
    const uint32_t offBits = r.u32();
    const Header h = readHeader(r);
    std::vector<Color> palette = readPalette(r, h);
    if (offBits < h.paletteStart || offBits >= data.size())
        invalidBmp();
    // Uncompressed rows are all written below; run-length data may skip pixels, which are then
    // black (index 0).
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    out.recreate(h.width, h.height, formatFor(h), rle);
    if (h.bpp <= 8)
        out.setPalette(std::move(palette));
    r.seek(offBits);
    if (rle)
        readRle(r, h, out);
    else
        readUncompressed(r, h, out);
}

} // namespace

void readBmpInto(std::string_view data, Bitmap& out) {
    try {
        decodeInto(data, out);
    } catch (...) {
        // Rows not yet read hold whatever the memory held: none of it may be seen.
        out = Bitmap();
        throw;
    }
}

void readBmp(std::string_view data, Bitmap& out) {
    Bitmap decoded;
    readBmpInto(data, decoded);
    out = std::move(decoded);
}

namespace {

// The file header, info header, bit masks and colour table: everything before the rows.
std::string bmpHeader(const Bitmap& bitmap) {
    const PixelFormat f = bitmap.pixelFormat();
    const int bpp = bitsPerPixel(f) == 0 ? 24 : bitsPerPixel(f);
    const bool fields = f == PixelFormat::Bit16;
    const auto colors = static_cast<uint32_t>(bitmap.palette().size());
    const uint32_t offBits = 14 + 40 + (fields ? 12 : 0) + 4 * colors;
    const auto stride = static_cast<uint32_t>(bitmap.stride());
    const uint32_t imageSize = stride * static_cast<uint32_t>(bitmap.height());
    std::string out;
    out.reserve(offBits);
    out += "BM";
    putU32(out, offBits + imageSize);
    putU32(out, 0);
    putU32(out, offBits);
    putU32(out, 40);
    putU32(out, static_cast<uint32_t>(bitmap.width()));
    putU32(out, static_cast<uint32_t>(bitmap.height()));
    putU16(out, 1);
    putU16(out, static_cast<uint16_t>(bpp));
    putU32(out, fields ? kBitFields : kRgb);
    putU32(out, imageSize);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, colors);
    putU32(out, 0);
    if (fields) {
        putU32(out, 0xF800);
        putU32(out, 0x7E0);
        putU32(out, 0x1F);
    }
    for (const Color& c : bitmap.palette()) {
        out += static_cast<char>(c.b);
        out += static_cast<char>(c.g);
        out += static_cast<char>(c.r);
        out += '\0';
    }
    return out;
}

} // namespace

std::string writeBmp(const Bitmap& bitmap) {
    std::string out = bmpHeader(bitmap);
    out.reserve(out.size() + bitmap.stride() * static_cast<size_t>(bitmap.height()));
    for (int y = bitmap.height() - 1; y >= 0; --y)
        out.append(reinterpret_cast<const char*>(bitmap.scanLine(y)), bitmap.stride());
    return out;
}

void saveBmpFile(const Bitmap& bitmap, const std::string& path) {
    AtomicFile file;
    throwIfFailed(file.create(path), path);
    // Bottom row first, straight from the bitmap.
    PieceWriter pieces(file);
    const std::string header = bmpHeader(bitmap);
    pieces.append(header.data(), header.size());
    for (int y = bitmap.height() - 1; y >= 0; --y)
        pieces.append(bitmap.scanLine(y), bitmap.stride());
    throwIfFailed(pieces.finish(), path);
    throwIfFailed(file.commit(), path);
}

} // namespace kestrix
