// The GIF decoder: the block structure, the LZW image data and the composition of frames.
#include "core/decode/GifDecoder.h"

#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <optional>
#include <unordered_map>

namespace kestrix {

namespace {

[[noreturn]] void invalidGif(const char* message) {
    throw Error(message, ErrorKind::InvalidImage);
}
[[noreturn]] void tooLarge() {
    throw Error("GIF animation too large", ErrorKind::InvalidImage);
}

constexpr int kMaxCodes = 4096;

// What a frame of the canvas's size costs in memory in `format`, counted against the GIF budget:
// pixels, colour table and the object itself, so that a flood of tiny frames is bounded as well
// as a few huge ones.
int64_t frameCost(const Bitmap& canvas, PixelFormat format) {
    const size_t entries = isPaletteFormat(format) ? canvas.palette().size() : 0;
    return static_cast<int64_t>(strideFor(canvas.width(), bitsPerPixel(format)) *
                                    static_cast<size_t>(canvas.height()) +
                                entries * sizeof(Color) + sizeof(Bitmap));
}

std::vector<Color> greyRamp() {
    std::vector<Color> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                        static_cast<uint8_t>(i)};
    return ramp;
}

std::vector<Color> readColorTable(ByteReader& r, int sizeBits) {
    const size_t entries = size_t{2} << sizeBits;
    const std::string_view bytes = r.bytes(entries * 3);
    std::vector<Color> table(entries);
    for (size_t i = 0; i < entries; ++i)
        table[i] = {static_cast<uint8_t>(bytes[3 * i]), static_cast<uint8_t>(bytes[3 * i + 1]),
                    static_cast<uint8_t>(bytes[3 * i + 2])};
    return table;
}

// Concatenates data sub-blocks up to the block terminator.
void readSubBlocks(ByteReader& r, std::vector<uint8_t>& out) {
    out.clear();
    while (const uint8_t length = r.u8()) {
        const std::string_view block = r.bytes(length);
        out.insert(out.end(), block.begin(), block.end());
    }
}

void skipSubBlocks(ByteReader& r) {
    while (const uint8_t length = r.u8())
        r.skip(length);
}

// The variable-length code dictionary. Strings are written back to front by following the
// prefix chain; the part of a string that would pass the end of the image is dropped.
class LzwDecoder {
public:
    LzwDecoder(int minCodeSize, uint8_t* out, size_t pixelCount)
        : minCodeSize_(minCodeSize), clear_(1 << minCodeSize), out_(out), count_(pixelCount) {
        for (int c = 0; c < clear_; ++c) {
            suffix_[c] = first_[c] = static_cast<uint8_t>(c);
            length_[c] = 1;
        }
        reset();
    }

    // Data that ends before the image is complete leaves the remaining pixels at index 0.
    void run(const std::vector<uint8_t>& data) {
        size_t in = 0;
        uint32_t bits = 0;
        int held = 0;
        while (pos_ < count_) {
            while (held < width_) {
                if (in == data.size())
                    return;
                bits |= uint32_t{data[in++]} << held;
                held += 8;
            }
            const int code = static_cast<int>(bits & ((1u << width_) - 1));
            bits >>= width_;
            held -= width_;
            if (code == clear_)
                reset();
            else if (code == clear_ + 1)
                return;
            else
                accept(code);
        }
    }

private:
    void reset() {
        width_ = minCodeSize_ + 1;
        next_ = clear_ + 2;
        prev_ = -1;
    }

    void accept(int code) {
        if (prev_ < 0) {
            if (code >= clear_)
                invalidGif("Invalid GIF image data");
        } else {
            if (code > next_)
                invalidGif("Invalid GIF image data");
            if (next_ < kMaxCodes) {
                prefix_[next_] = static_cast<uint16_t>(prev_);
                suffix_[next_] = code < next_ ? first_[code] : first_[prev_];
                first_[next_] = first_[prev_];
                length_[next_] = static_cast<uint16_t>(length_[prev_] + 1);
                if (++next_ == (1 << width_) && width_ < 12)
                    ++width_;
            }
        }
        write(code);
        prev_ = code;
    }

    void write(int code) {
        const size_t end = pos_ + length_[code];
        size_t k = end;
        for (; k > count_; --k)
            code = prefix_[code];
        while (k > pos_) {
            out_[--k] = suffix_[code];
            code = prefix_[code];
        }
        pos_ = std::min(end, count_);
    }

    int minCodeSize_;
    int clear_;
    int width_ = 0;
    int next_ = 0;
    int prev_ = -1;
    uint8_t* out_;
    size_t count_;
    size_t pos_ = 0;
    std::array<uint16_t, kMaxCodes> prefix_{};
    std::array<uint8_t, kMaxCodes> suffix_{};
    std::array<uint8_t, kMaxCodes> first_{};
    std::array<uint16_t, kMaxCodes> length_{};
};

// Rows of an interlaced image in the order they are stored.
std::vector<int> interlacedRows(int height) {
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(height));
    for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < height; y += step)
            rows.push_back(y);
    return rows;
}

void decodePixels(const std::vector<uint8_t>& data, int minCodeSize, GifSubImage& sub) {
    if (minCodeSize < 2 || minCodeSize > 8)
        invalidGif("Invalid GIF code size");
    Bitmap& b = sub.bitmap;
    const auto w = static_cast<size_t>(b.width());
    const auto h = static_cast<size_t>(b.height());
    if (!sub.interlaced && b.stride() == w) {
        LzwDecoder(minCodeSize, b.scanLine(0), w * h).run(data);
        return;
    }
    std::vector<uint8_t> linear(w * h, 0);
    LzwDecoder(minCodeSize, linear.data(), linear.size()).run(data);
    const std::vector<int> rows = sub.interlaced ? interlacedRows(b.height()) : std::vector<int>{};
    for (size_t k = 0; k < h; ++k)
        std::memcpy(b.scanLine(sub.interlaced ? rows[k] : static_cast<int>(k)),
                    linear.data() + k * w, w);
}

struct GraphicControl {
    bool present = false;
    bool transparency = false;
    int transparentIndex = 0;
    int delay = 0;
    int disposal = 0;
};

void readExtension(ByteReader& r, GraphicControl& control) {
    const uint8_t label = r.u8();
    if (label == 0xF9) {
        const uint8_t size = r.u8();
        const std::string_view block = r.bytes(size);
        if (size >= 4) {
            const auto packed = static_cast<uint8_t>(block[0]);
            control.present = true;
            control.transparency = (packed & 1) != 0;
            control.disposal = (packed >> 2) & 7;
            control.delay = static_cast<uint8_t>(block[1]) | static_cast<uint8_t>(block[2]) << 8;
            control.transparentIndex = static_cast<uint8_t>(block[3]);
        }
        if (size == 0)
            return;
    }
    skipSubBlocks(r);
}

// Reads the file twice: a first walk over the block structure adds up what the sub-images will
// cost and refuses a file over the budget before any pixel is allocated; the second walk decodes.
class GifParser {
public:
    explicit GifParser(std::string_view data) : r_(data) {}

    DecodedGif parse() {
        const std::string_view signature = r_.size() >= 6 ? r_.bytes(6) : std::string_view{};
        if (signature != "GIF87a" && signature != "GIF89a")
            invalidGif("Invalid GIF signature");
        gif_.screenWidth = r_.u16();
        gif_.screenHeight = r_.u16();
        const uint8_t packed = r_.u8();
        gif_.backgroundIndex = r_.u8();
        r_.skip(1);
        if (packed & 0x80)
            gif_.globalTable = readColorTable(r_, packed & 7);
        const size_t blocks = r_.position();
        readBlocks(true);
        r_.seek(blocks);
        readBlocks(false);
        if (gif_.images.empty())
            invalidGif("GIF contains no images");
        return std::move(gif_);
    }

private:
    // Blocks up to the trailer. A file that stops at a block boundary, or continues with bytes
    // that begin no block, ends there once it has given at least one image.
    void readBlocks(bool measuring) {
        GraphicControl control;
        int images = 0;
        while (!r_.atEnd()) {
            const uint8_t introducer = r_.u8();
            if (introducer == 0x3B)
                return;
            if (introducer == 0x21) {
                readExtension(r_, control);
            } else if (introducer == 0x2C) {
                readImage(control, measuring);
                control = {};
                ++images;
            } else if (images == 0) {
                invalidGif("Invalid GIF block");
            } else {
                return;
            }
        }
    }

    void readImage(const GraphicControl& control, bool measuring) {
        GifSubImage sub;
        sub.left = r_.u16();
        sub.top = r_.u16();
        const int width = r_.u16();
        const int height = r_.u16();
        const uint8_t packed = r_.u8();
        sub.interlaced = (packed & 0x40) != 0;
        sub.hasLocalTable = (packed & 0x80) != 0;
        sub.hasImageData = width > 0 && height > 0;
        if (measuring) {
            const size_t tableEntries = sub.hasLocalTable          ? size_t{2} << (packed & 7)
                                        : gif_.globalTable.empty() ? 256
                                                                   : gif_.globalTable.size();
            if (sub.hasLocalTable)
                r_.skip(3 * tableEntries);
            r_.skip(1);
            skipSubBlocks(r_);
            charge(sub.hasImageData ? width : 0, sub.hasImageData ? height : 0, tableEntries);
            return;
        }
        std::vector<Color> table = sub.hasLocalTable          ? readColorTable(r_, packed & 7)
                                   : gif_.globalTable.empty() ? greyRamp()
                                                              : gif_.globalTable;
        const uint8_t minCodeSize = r_.u8();
        readSubBlocks(r_, compressed_);
        sub.hasTransparency = control.transparency;
        sub.transparentIndex = control.transparentIndex;
        sub.delay = control.delay;
        sub.disposal = control.disposal;
        if (sub.hasImageData) {
            sub.bitmap = Bitmap(width, height, PixelFormat::Bit8);
            sub.bitmap.setPalette(std::move(table));
            decodePixels(compressed_, minCodeSize, sub);
            const auto& palette = sub.bitmap.palette();
            if (sub.hasTransparency && static_cast<size_t>(sub.transparentIndex) < palette.size())
                sub.bitmap.setTransparentColor(palette[static_cast<size_t>(sub.transparentIndex)]);
        }
        gif_.images.push_back(std::move(sub));
    }

    void charge(int width, int height, size_t tableEntries) {
        checkImageSize(width, height);
        spent_ += static_cast<int64_t>(strideFor(width, 8)) * height +
                  static_cast<int64_t>(tableEntries * sizeof(Color) + sizeof(GifSubImage));
        if (spent_ > kMaxGifBytes)
            tooLarge();
    }

    ByteReader r_;
    DecodedGif gif_;
    std::vector<uint8_t> compressed_;
    int64_t spent_ = 0;
};

// A zero side of the logical screen is taken from the sub-images' largest extent.
std::pair<int, int> screenSize(const DecodedGif& gif) {
    int w = gif.screenWidth;
    int h = gif.screenHeight;
    for (const GifSubImage& sub : gif.images) {
        if (!sub.hasImageData)
            continue;
        if (gif.screenWidth == 0)
            w = std::max(w, sub.left + sub.bitmap.width());
        if (gif.screenHeight == 0)
            h = std::max(h, sub.top + sub.bitmap.height());
    }
    return {w, h};
}

// Where a sub-image lands on the canvas: canvas columns [x0, x1) and rows [y0, y1), each canvas
// pixel (x, y) taken from the sub-image's pixel (x - dx, y - dy).
struct Placement {
    int dx = 0, dy = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

Placement place(const Bitmap& canvas, const Bitmap& src, int dx, int dy) {
    return {dx,
            dy,
            std::max(0, dx),
            std::max(0, dy),
            std::min(canvas.width(), dx + src.width()),
            std::min(canvas.height(), dy + src.height())};
}

using IndexTable = std::array<uint8_t, 256>;

// Indexes a sub-image actually draws: those of its pixels inside the canvas, without the
// transparent one.
std::array<bool, 256> drawnIndexes(const GifSubImage& sub, const Placement& at) {
    std::array<bool, 256> drawn{};
    for (int y = at.y0; y < at.y1; ++y) {
        const uint8_t* s = sub.bitmap.scanLine(y - at.dy) + (at.x0 - at.dx);
        for (int x = 0; x < at.x1 - at.x0; ++x)
            drawn[s[x]] = true;
    }
    if (sub.hasTransparency)
        drawn[static_cast<size_t>(sub.transparentIndex & 0xFF)] = false;
    return drawn;
}

// The canvas table's first index of each of its colours; built once, as the table never changes
// while the canvas holds 8 bits.
class CanvasColours {
public:
    explicit CanvasColours(const std::vector<Color>& table) {
        for (size_t i = 0; i < table.size() && i < 256; ++i)
            index_.emplace(table[i].key(), static_cast<uint8_t>(i));
    }

    // The canvas index of every colour the sub-image draws, or nothing when the canvas table
    // lacks one of them. A sub-image with the canvas's own table keeps its indexes, so a GIF
    // with one shared table composes byte for byte as it always has.
    std::optional<IndexTable> exactIndexes(const Bitmap& canvas, const GifSubImage& sub,
                                           const Placement& at) const {
        IndexTable map{};
        const std::vector<Color>& table = sub.bitmap.palette();
        if (table == canvas.palette()) {
            std::iota(map.begin(), map.end(), uint8_t{0});
            return map;
        }
        const std::array<bool, 256> drawn = drawnIndexes(sub, at);
        for (size_t i = 0; i < 256; ++i) {
            if (!drawn[i])
                continue;
            // An index beyond the table shows black, as it does everywhere else.
            const Color c = i < table.size() ? table[i] : Color{};
            const auto found = index_.find(c.key());
            if (found == index_.end())
                return std::nullopt;
            map[i] = found->second;
        }
        return map;
    }

private:
    std::unordered_map<uint32_t, uint8_t> index_;
};

bool isTransparent(const GifSubImage& sub, size_t index) {
    return sub.hasTransparency && static_cast<int>(index) == sub.transparentIndex;
}

// Draws a sub-image onto the 8-bit canvas through `map`; its transparent index is left out.
void drawIndexed(Bitmap& canvas, const GifSubImage& sub, const Placement& at,
                 const IndexTable& map) {
    std::array<bool, 256> skip{};
    for (size_t i = 0; i < 256; ++i)
        skip[i] = isTransparent(sub, i);
    for (int y = at.y0; y < at.y1; ++y) {
        const uint8_t* s = sub.bitmap.scanLine(y - at.dy) + (at.x0 - at.dx);
        uint8_t* d = canvas.scanLine(y) + at.x0;
        for (int x = 0; x < at.x1 - at.x0; ++x)
            if (!skip[s[x]])
                d[x] = map[s[x]];
    }
}

// Draws a sub-image onto the 24-bit canvas in its own colours; its transparent index is left out.
void drawTrueColour(Bitmap& canvas, const GifSubImage& sub, const Placement& at) {
    const std::vector<Color>& table = sub.bitmap.palette();
    std::array<std::array<uint8_t, 3>, 256> bgr{};
    std::array<bool, 256> skip{};
    for (size_t i = 0; i < 256; ++i) {
        const Color c = i < table.size() ? table[i] : Color{};
        bgr[i] = {c.b, c.g, c.r};
        skip[i] = isTransparent(sub, i);
    }
    for (int y = at.y0; y < at.y1; ++y) {
        const uint8_t* s = sub.bitmap.scanLine(y - at.dy) + (at.x0 - at.dx);
        uint8_t* d = canvas.scanLine(y) + 3 * static_cast<size_t>(at.x0);
        for (int x = 0; x < at.x1 - at.x0; ++x, d += 3)
            if (!skip[s[x]])
                std::memcpy(d, bgr[s[x]].data(), 3);
    }
}

// Draws a later sub-image in its own colours. The canvas stays 8 bits while its table holds
// every colour drawn; the first sub-image that draws another colour turns it into 24 bits for
// good, so each frame is exact and the frames before keep their table.
void drawSubImage(Bitmap& canvas, const CanvasColours& colours, const GifSubImage& sub,
                  const Placement& at) {
    if (at.x0 >= at.x1 || at.y0 >= at.y1)
        return;
    if (canvas.pixelFormat() == PixelFormat::Bit8) {
        if (const auto map = colours.exactIndexes(canvas, sub, at)) {
            drawIndexed(canvas, sub, at, *map);
            return;
        }
        canvas.convertTo24();
    }
    drawTrueColour(canvas, sub, at);
}

// The canvas when the first sub-image has no image data: the logical screen in black, with the
// global table (a grey ramp without one).
Bitmap blankScreen(const DecodedGif& gif) {
    const auto [w, h] = screenSize(gif);
    checkImageSize(w, h);
    Bitmap canvas(w, h, PixelFormat::Bit8);
    canvas.setPalette(gif.globalTable.empty() ? greyRamp() : gif.globalTable);
    const uint8_t black = PaletteMatcher(canvas.palette()).nearest({0, 0, 0});
    for (int y = 0; y < h; ++y)
        std::memset(canvas.scanLine(y), black, static_cast<size_t>(w));
    return canvas;
}

} // namespace

DecodedGif parseGif(std::string_view data) {
    return GifParser(data).parse();
}

// The canvas is the first sub-image's own bitmap, so later sub-images are placed relative to the
// first one's position: drawing them at their raw screen position would shift them whenever the
// first sub-image does not start at the screen's corner.
void composeGifFrames(const DecodedGif& gif, BitmapList& frames) {
    const auto frameCount = std::count_if(gif.images.begin(), gif.images.end(),
                                          [](const GifSubImage& s) { return s.hasImageData; });
    if (frameCount == 0) {
        frames.clear();
        return;
    }
    Bitmap canvas;
    int originX = 0, originY = 0;
    if (gif.images[0].hasImageData) {
        canvas = gif.images[0].bitmap;
        originX = gif.images[0].left;
        originY = gif.images[0].top;
    } else {
        canvas = blankScreen(gif);
    }
    const CanvasColours colours(canvas.palette());
    const auto placed = [&](const GifSubImage& sub) {
        return place(canvas, sub.bitmap, sub.left - originX, sub.top - originY);
    };
    // The frames from the first true-colour one on cost three bytes a pixel.
    int64_t indexed = gif.images[0].hasImageData ? 1 : 0;
    for (size_t i = 1; i < gif.images.size(); ++i) {
        const GifSubImage& sub = gif.images[i];
        if (!sub.hasImageData)
            continue;
        if (!colours.exactIndexes(canvas, sub, placed(sub)))
            break;
        ++indexed;
    }
    if (indexed * frameCost(canvas, PixelFormat::Bit8) +
            (frameCount - indexed) * frameCost(canvas, PixelFormat::Bit24) >
        kMaxGifBytes)
        tooLarge();
    frames.clear();
    for (size_t i = 0; i < gif.images.size(); ++i) {
        const GifSubImage& sub = gif.images[i];
        if (!sub.hasImageData)
            continue;
        if (i > 0)
            drawSubImage(canvas, colours, sub, placed(sub));
        frames.add(canvas);
    }
}

Bitmap gifFirstFrame(const DecodedGif& gif) {
    const auto [w, h] = screenSize(gif);
    if (w == 0 || h == 0)
        invalidGif("GIF image is empty");
    checkImageSize(w, h);
    const GifSubImage& first = gif.images.at(0);
    if (first.hasImageData && first.bitmap.width() == w && first.bitmap.height() == h)
        return first.bitmap;
    Bitmap screen(w, h, PixelFormat::Bit24);
    if (first.hasImageData)
        screen.draw(first.left, first.top, first.bitmap, false);
    return screen;
}

void decodeGif(std::string_view body, Bitmap& bitmap, BitmapList* frames) {
    const DecodedGif gif = parseGif(body);
    Bitmap single = gifFirstFrame(gif);
    single.convertTo24();
    if (frames)
        composeGifFrames(gif, *frames);
    bitmap = std::move(single);
}

void loadGifFrames(const std::string& path, BitmapList& frames) {
    composeGifFrames(parseGif(readFileBytes(path)), frames);
}

} // namespace kestrix
