// Our PNG decoder: every colour type and bit depth, the five scan-line filters and Adam7
// interlacing. The image data is inflated whole by libdeflate into a buffer of exactly the size
// the header promises; a stream that does not fill it exactly, or is broken in any way, is
// inflated again step by step by zlib, which decides what it was: an error, or an image whose
// stream ran on past its end. Rows are unfiltered in place against the row above and expanded
// straight into 24-bit pixels.
#include "core/decode/ImageDecoder.h"
#include "core/decode/PngFilters.h"
#include "core/decode/PngInflate.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/Parallel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <libdeflate.h>
#include <utility>
#include <vector>
#include <zlib.h>

#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

namespace kestrix {

namespace {

constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1A\n", 8};

[[noreturn]] void invalidPng(const char* message) {
    throw Error(message, ErrorKind::InvalidImage);
}

enum ColorType { KGrey = 0, KRgb = 2, KPalette = 3, KGreyAlpha = 4, KRgba = 6 };

struct PngInfo {
    int width = 0;
    int height = 0;
    int depth = 0;
    int colorType = 0;
    bool interlaced = false;
    std::vector<Color> palette;
    bool transparent = false;
    Color transparentColor;
    std::vector<std::string_view> imageData;
};

uint32_t readU32BigEndian(std::string_view b) {
    return (uint32_t{static_cast<uint8_t>(b[0])} << 24) |
           (uint32_t{static_cast<uint8_t>(b[1])} << 16) |
           (uint32_t{static_cast<uint8_t>(b[2])} << 8) | static_cast<uint8_t>(b[3]);
}

int channelCount(int colorType) {
    switch (colorType) {
    case KRgb:
        return 3;
    case KGreyAlpha:
        return 2;
    case KRgba:
        return 4;
    default:
        return 1;
    }
}

bool validDepth(int colorType, int depth) {
    switch (colorType) {
    case KGrey:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case KPalette:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case KRgb:
    case KGreyAlpha:
    case KRgba:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

// A grey sample of `depth` bits as an 8-bit level: small depths are scaled to 0..255, 16-bit
// samples keep their high byte.
uint8_t greyLevel(unsigned value, int depth) {
    if (depth == 16)
        return static_cast<uint8_t>(value >> 8);
    value &= (1u << depth) - 1;
    return static_cast<uint8_t>(value * 255 / ((1u << depth) - 1));
}

void readHeader(std::string_view data, PngInfo& info) {
    if (data.size() != 13)
        invalidPng("Invalid PNG header");
    const uint32_t width = readU32BigEndian(data.substr(0, 4));
    const uint32_t height = readU32BigEndian(data.substr(4, 4));
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        invalidPng("Invalid PNG image size");
    checkImageSize(width, height);
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);
    info.depth = static_cast<uint8_t>(data[8]);
    info.colorType = static_cast<uint8_t>(data[9]);
    if (!validDepth(info.colorType, info.depth))
        invalidPng("Invalid PNG bit depth or colour type");
    if (data[10] != 0 || data[11] != 0 || static_cast<uint8_t>(data[12]) > 1)
        invalidPng("Invalid PNG header");
    info.interlaced = data[12] == 1;
}

void readPalette(std::string_view data, PngInfo& info) {
    if (info.colorType != KPalette)
        return; // a suggested palette of a true-colour image, or a stray one: not used
    const size_t entries = data.size() / 3;
    if (!info.palette.empty() || data.size() % 3 != 0 || entries == 0 || entries > 256 ||
        entries > (size_t{1} << info.depth))
        invalidPng("Invalid PNG palette");
    for (size_t i = 0; i < entries; ++i)
        info.palette.push_back({static_cast<uint8_t>(data[3 * i]),
                                static_cast<uint8_t>(data[3 * i + 1]),
                                static_cast<uint8_t>(data[3 * i + 2])});
}

uint16_t sample16(std::string_view data, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(data[at]) << 8 |
                                 static_cast<uint8_t>(data[at + 1]));
}

// Records the single fully transparent colour, when the chunk describes one; alpha levels in
// between are ignored, as is any chunk that does not fit the image.
void readTransparency(std::string_view data, PngInfo& info) {
    if (info.colorType == KGrey && data.size() == 2) {
        const uint8_t v = greyLevel(sample16(data, 0), info.depth);
        info.transparent = true;
        info.transparentColor = {v, v, v};
    } else if (info.colorType == KRgb && data.size() == 6) {
        auto level = [&](size_t at) {
            const uint16_t v = sample16(data, at);
            return static_cast<uint8_t>(info.depth == 16 ? v >> 8 : v & 0xFF);
        };
        info.transparent = true;
        info.transparentColor = {level(0), level(2), level(4)};
    } else if (info.colorType == KPalette && data.size() <= info.palette.size()) {
        int clear = -1;
        for (size_t i = 0; i < data.size(); ++i) {
            const auto alpha = static_cast<uint8_t>(data[i]);
            if (alpha == 0 && clear < 0)
                clear = static_cast<int>(i);
            else if (alpha != 255)
                return;
        }
        if (clear >= 0) {
            info.transparent = true;
            info.transparentColor = info.palette[static_cast<size_t>(clear)];
        }
    }
}

bool isCritical(std::string_view type) {
    return (type[0] & 0x20) == 0;
}

// Walks the chunks up to IEND. Image data is only collected here; it is inflated afterwards.
// A file cut short after image data has begun ends the walk, and the image data decides.
PngInfo readChunks(std::string_view body) {
    ByteReader r(body);
    if (body.size() < kPngSignature.size() || body.substr(0, 8) != kPngSignature)
        invalidPng("Invalid PNG signature");
    r.skip(8);
    PngInfo info;
    bool first = true;
    while (true) {
        if (r.remaining() < 12 && !info.imageData.empty())
            break;
        const uint32_t length = readU32BigEndian(r.bytes(4));
        if (length > 0x7FFFFFFF)
            invalidPng("Invalid PNG chunk length");
        if (r.remaining() < size_t{length} + 8 && !info.imageData.empty())
            break;
        const std::string_view type = r.bytes(4);
        const std::string_view data = r.bytes(length);
        const uint32_t crc = readU32BigEndian(r.bytes(4));
        uint32_t expected = libdeflate_crc32(0, type.data(), 4);
        // Given no data, libdeflate answers the initial value instead of the sum so far.
        if (length > 0)
            expected = libdeflate_crc32(expected, data.data(), length);
        if (expected != crc) {
            if (isCritical(type))
                invalidPng("PNG chunk CRC error");
            continue;
        }
        if (first != (type == "IHDR"))
            invalidPng("Invalid PNG header");
        first = false;
        if (type == "IHDR")
            readHeader(data, info);
        else if (type == "PLTE")
            readPalette(data, info);
        else if (type == "tRNS" && info.imageData.empty())
            readTransparency(data, info);
        else if (type == "IDAT") {
            if (info.colorType == KPalette && info.palette.empty())
                invalidPng("PNG palette missing");
            info.imageData.push_back(data);
        } else if (type == "IEND")
            break;
        else if (isCritical(type))
            invalidPng("Unknown critical PNG chunk");
    }
    if (info.imageData.empty())
        invalidPng("PNG image data missing");
    return info;
}

// Inflates the concatenated image data on demand, never more than asked for: data beyond the
// image is left alone, and a stream that ends early or breaks is an error.
class Inflater {
public:
    explicit Inflater(const std::vector<std::string_view>& input) : input_(input) {
        if (inflateInit(&z_) != Z_OK)
            throw Error("Out of memory", ErrorKind::OutOfMemory);
    }
    ~Inflater() { inflateEnd(&z_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void read(uint8_t* out, size_t size) {
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(size);
        while (z_.avail_out > 0) {
            if (ended_)
                invalidPng("PNG image data is incomplete");
            if (z_.avail_in == 0) {
                if (next_ == input_.size())
                    invalidPng("PNG image data is incomplete");
                const std::string_view chunk = input_[next_++];
                z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
                z_.avail_in = static_cast<uInt>(chunk.size());
                continue;
            }
            const int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc == Z_STREAM_END)
                ended_ = true;
            else if (rc != Z_OK)
                invalidPng("Invalid PNG image data");
        }
    }

private:
    z_stream z_{};
    const std::vector<std::string_view>& input_;
    size_t next_ = 0;
    bool ended_ = false;
};

// True-colour samples (the high byte of 16-bit ones) to blue, green, red; alpha is skipped.
template <int PixelBytes, int SampleBytes> void rgbRow(const uint8_t* s, uint8_t* d, int count) {
    for (int i = 0; i < count; ++i, s += PixelBytes, d += 3) {
        d[0] = s[2 * SampleBytes];
        d[1] = s[SampleBytes];
        d[2] = s[0];
    }
}

#if defined(__x86_64__)
// Five pixels per byte shuffle. Each step stores 16 bytes: the last is the next pixel's first,
// written again, correctly, by the step after (there is always one: six pixels are left).
__attribute__((target("ssse3"))) int rgb8RowShuffled(const uint8_t* s, uint8_t* d, int count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int i = 0;
    for (; i + 6 <= count; i += 5, s += 15, d += 15) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(pixels, order));
    }
    return i;
}

const bool kHasShuffle = __builtin_cpu_supports("ssse3");
#endif

// 8-bit RGB: shuffled by the vector unit where it can, else four pixels at a time, three 32-bit
// words in, their bytes rearranged, three out.
void rgb8Row(const uint8_t* s, uint8_t* d, int count) {
    int i = 0;
#if defined(__x86_64__)
    if (kHasShuffle) {
        i = rgb8RowShuffled(s, d, count);
        s += 3 * static_cast<ptrdiff_t>(i);
        d += 3 * static_cast<ptrdiff_t>(i);
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 4 <= count; i += 4, s += 12, d += 12) {
            uint32_t in[3];
            std::memcpy(in, s, 12);
            const uint32_t out[3] = {
                ((in[0] >> 16) & 0xFF) | (in[0] & 0xFF00) | ((in[0] & 0xFF) << 16) |
                    ((in[1] & 0xFF00) << 16),
                (in[1] & 0xFF) | ((in[0] >> 24) << 8) | ((in[2] & 0xFF) << 16) |
                    (in[1] & 0xFF000000),
                ((in[1] >> 16) & 0xFF) | ((in[2] >> 24) << 8) | (in[2] & 0xFF0000) |
                    ((in[2] & 0xFF00) << 16),
            };
            std::memcpy(d, out, 12);
        }
    }
    rgbRow<3, 1>(s, d, count - i);
}

template <int PixelBytes> void greyRow(const uint8_t* s, uint8_t* d, int count) {
    for (int i = 0; i < count; ++i, s += PixelBytes, d += 3)
        d[0] = d[1] = d[2] = s[0];
}

// Expands one unfiltered row to 24-bit pixels. Palette and grey samples of up to 8 bits go
// through a 256-entry table; palette indexes beyond the palette read as black.
class RowConverter {
public:
    explicit RowConverter(const PngInfo& info) : depth_(info.depth), type_(info.colorType) {
        for (unsigned i = 0; i < 256; ++i) {
            Color c;
            if (type_ == KPalette)
                c = i < info.palette.size() ? info.palette[i] : Color{};
            else if (depth_ <= 8) {
                const uint8_t v = greyLevel(i, depth_);
                c = {v, v, v};
            }
            table_[i] = {c.b, c.g, c.r};
        }
    }

    void operator()(const uint8_t* s, uint8_t* d, int count) const {
        switch (type_) {
        case KRgb:
            return depth_ == 8 ? rgb8Row(s, d, count) : rgbRow<6, 2>(s, d, count);
        case KRgba:
            return depth_ == 8 ? rgbRow<4, 1>(s, d, count) : rgbRow<8, 2>(s, d, count);
        case KGreyAlpha:
            return depth_ == 8 ? greyRow<2>(s, d, count) : greyRow<4>(s, d, count);
        default:
            break;
        }
        if (depth_ == 16)
            return greyRow<2>(s, d, count);
        if (depth_ == 8) {
            for (int i = 0; i < count; ++i, d += 3)
                std::memcpy(d, table_[s[i]].data(), 3);
            return;
        }
        const int perByte = 8 / depth_;
        const unsigned mask = (1u << depth_) - 1;
        for (int i = 0; i < count; ++i, d += 3) {
            const int shift = 8 - depth_ * (i % perByte + 1);
            std::memcpy(d, table_[(s[i / perByte] >> shift) & mask].data(), 3);
        }
    }

private:
    int depth_;
    int type_;
    std::array<std::array<uint8_t, 3>, 256> table_{};
};

struct Pass {
    int x0, y0, dx, dy;
};

constexpr std::array<Pass, 7> kAdam7{{
    {0, 0, 8, 8},
    {4, 0, 8, 8},
    {0, 4, 4, 8},
    {2, 0, 4, 4},
    {0, 2, 2, 4},
    {1, 0, 2, 2},
    {0, 1, 1, 2},
}};

struct PassSize {
    int width = 0;
    int height = 0;
    size_t rowBytes = 0; // without the filter byte
};

int bitsPerPixelOf(const PngInfo& info) {
    return channelCount(info.colorType) * info.depth;
}

PassSize passSize(const PngInfo& info, const Pass& pass) {
    PassSize size;
    if (info.width > pass.x0 && info.height > pass.y0) {
        size.width = (info.width - pass.x0 + pass.dx - 1) / pass.dx;
        size.height = (info.height - pass.y0 + pass.dy - 1) / pass.dy;
    }
    size.rowBytes = (static_cast<size_t>(size.width) * bitsPerPixelOf(info) + 7) / 8;
    return size;
}

// Calls f(pass, size) for every pass that holds pixels, in file order.
template <typename F> void forEachPass(const PngInfo& info, F&& f) {
    const size_t passCount = info.interlaced ? kAdam7.size() : 1;
    for (size_t p = 0; p < passCount; ++p) {
        const Pass pass = info.interlaced ? kAdam7[p] : Pass{0, 0, 1, 1};
        const PassSize size = passSize(info, pass);
        if (size.width > 0 && size.height > 0)
            f(pass, size);
    }
}

// Undoes the filter of `row`, which starts with the filter byte, against `above`, the unfiltered
// row above without its filter byte.
void unfilterRow(const PngInfo& info, const PassSize& size, uint8_t* row, const uint8_t* above) {
    const auto pixelBytes = static_cast<size_t>(std::max(1, bitsPerPixelOf(info) / 8));
    if (!unfilterPngRow(row[0], row + 1, above, size.rowBytes, pixelBytes))
        invalidPng("Invalid PNG filter type");
}

// Writes unfiltered rows into the bitmap as 24-bit pixels.
class RowWriter {
public:
    RowWriter(const RowConverter& convert, Bitmap& out) : convert_(convert), out_(out) {}

    // `row` is the r-th row of the pass, without its filter byte.
    void write(const Pass& pass, const PassSize& size, int r, const uint8_t* row) {
        uint8_t* target = out_.scanLine(pass.y0 + r * pass.dy);
        if (pass.dx == 1) {
            convert_(row, target, size.width);
            return;
        }
        pixels_.resize(static_cast<size_t>(size.width) * 3);
        convert_(row, pixels_.data(), size.width);
        for (int i = 0; i < size.width; ++i)
            std::memcpy(target + 3 * static_cast<size_t>(pass.x0 + i * pass.dx),
                        pixels_.data() + 3 * static_cast<size_t>(i), 3);
    }

private:
    const RowConverter& convert_;
    Bitmap& out_;
    std::vector<uint8_t> pixels_;
};

// Rows are inflated many at a time into one block, which lets zlib stay in its fast loop.
constexpr size_t kBlockBytes = 128 * 1024;

void decodeStepByStep(const PngInfo& info, const RowConverter& convert, Bitmap& out) {
    Inflater inflater(info.imageData);
    RowWriter writer(convert, out);
    std::vector<uint8_t> block;
    forEachPass(info, [&](const Pass& pass, const PassSize& size) {
        const size_t stride = size.rowBytes + 1;
        const size_t rowsPerBlock = std::max<size_t>(1, kBlockBytes / stride);
        // Slot 0 holds the row above the block: zeros above the first row of the pass.
        block.assign((rowsPerBlock + 1) * stride, 0);
        for (int r = 0; r < size.height;) {
            const size_t rows = std::min(rowsPerBlock, static_cast<size_t>(size.height - r));
            inflater.read(block.data() + stride, rows * stride);
            for (size_t k = 1; k <= rows; ++k, ++r) {
                uint8_t* row = block.data() + k * stride;
                unfilterRow(info, size, row, row + 1 - stride);
                writer.write(pass, size, r, row + 1);
            }
            std::memcpy(block.data(), block.data() + rows * stride, stride);
        }
    });
}

// The image data's inflated size: every row of every pass, each with its filter byte.
size_t imageDataSize(const PngInfo& info) {
    size_t total = 0;
    forEachPass(info, [&](const Pass&, const PassSize& size) {
        total += (size.rowBytes + 1) * static_cast<size_t>(size.height);
    });
    return total;
}

// Unfilters image data inflated whole, in place, in the order zlib's rows are unfiltered.
void unfilterWhole(const PngInfo& info, uint8_t* data) {
    size_t widest = 0;
    forEachPass(
        info, [&](const Pass&, const PassSize& size) { widest = std::max(widest, size.rowBytes); });
    const std::vector<uint8_t> zeros(widest, 0);
    forEachPass(info, [&](const Pass&, const PassSize& size) {
        const uint8_t* above = zeros.data();
        for (int r = 0; r < size.height; ++r, data += size.rowBytes + 1) {
            unfilterRow(info, size, data, above);
            above = data + 1;
        }
    });
}

// Unfiltered rows do not depend on each other: the rows of a pass are written in parallel.
void writeWhole(const PngInfo& info, const uint8_t* data, const RowConverter& convert,
                Bitmap& out) {
    forEachPass(info, [&](const Pass& pass, const PassSize& size) {
        const size_t stride = size.rowBytes + 1;
        forEachRange(size.height, [&](int from, int to) {
            RowWriter writer(convert, out);
            for (int r = from; r < to; ++r)
                writer.write(pass, size, r, data + static_cast<size_t>(r) * stride + 1);
        });
        data += stride * static_cast<size_t>(size.height);
    });
}

Bitmap decodePixels(const PngInfo& info) {
    const RowConverter convert(info);
    Bitmap out;
    PageBuffer data;
    // The bitmap is cleared while the image data inflates and is unfiltered: on virtual machines
    // where memory touched for the first time traps to the host, clearing 12 MB takes as long as
    // inflating.
    forEachRange(2, [&](int from, int to) {
        for (int task = from; task < to; ++task) {
            if (task == 0) {
                out = Bitmap(info.width, info.height, PixelFormat::Bit24);
            } else {
                data = inflateImageData(info.imageData, imageDataSize(info));
                if (data)
                    unfilterWhole(info, data.get());
            }
        }
    });
    if (data)
        writeWhole(info, data.get(), convert, out);
    else
        decodeStepByStep(info, convert, out);
    if (info.transparent)
        out.setTransparentColor(info.transparentColor);
    return out;
}

} // namespace

void decodePng(std::string_view body, Bitmap& bitmap) {
    const PngInfo info = readChunks(body);
    Bitmap decoded = decodePixels(info);
    bitmap = std::move(decoded);
}

} // namespace kestrix
