#include "core/gif/LzwEncoder.h"

#include "core/util/Error.h"

#include <algorithm>
#include <vector>

namespace kestrix {

namespace {

// The (prefix code, pixel) -> code table. Keys have 20 bits and codes 12, so a slot packs both
// into one word and the whole table (32 KiB) stays in the nearest cache; emptying it is cheap
// next to the thousands of pixels coded between two clear codes.
class CodeTable {
public:
    CodeTable() : slots_(kSize, kEmpty) {}
    void clear() { std::fill(slots_.begin(), slots_.end(), kEmpty); }
    int find(uint32_t key) const {
        for (uint32_t i = hash(key);; i = (i + 1) & (kSize - 1)) {
            const uint32_t s = slots_[i];
            if (s == kEmpty)
                return -1;
            if ((s >> 12) == key)
                return static_cast<int>(s & 0xFFF);
        }
    }
    void insert(uint32_t key, int code) {
        uint32_t i = hash(key);
        while (slots_[i] != kEmpty)
            i = (i + 1) & (kSize - 1);
        slots_[i] = key << 12 | static_cast<uint32_t>(code);
    }

private:
    static constexpr uint32_t kSize = 8192;        // at most 4096 entries: at most half full
    static constexpr uint32_t kEmpty = 0xFFFFFFFF; // no key has all 20 bits set with code 4095
    static uint32_t hash(uint32_t key) { return (key * 2654435761u) >> 19; }
    std::vector<uint32_t> slots_;
};

class CodeWriter {
public:
    CodeWriter(std::string& out) : out_(out) {}
    void write(int code, int bits) {
        bucket_ |= static_cast<uint64_t>(code) << held_;
        held_ += bits;
        while (held_ >= 8) {
            put(static_cast<char>(bucket_ & 0xFF));
            bucket_ >>= 8;
            held_ -= 8;
        }
    }
    // The last bits, padded with zeros, and the last (short) sub-block.
    void flush() {
        if (held_ > 0)
            put(static_cast<char>(bucket_ & 0xFF));
        held_ = 0;
        bucket_ = 0;
        endBlock();
    }

private:
    void put(char byte) {
        block_[blockSize_++] = byte;
        if (blockSize_ == 255)
            endBlock();
    }
    void endBlock() {
        if (blockSize_ == 0)
            return;
        out_ += static_cast<char>(blockSize_);
        out_.append(block_, static_cast<size_t>(blockSize_));
        blockSize_ = 0;
    }
    std::string& out_;
    uint64_t bucket_ = 0;
    int held_ = 0;
    char block_[255];
    int blockSize_ = 0;
};

} // namespace

void encodeImageData(std::string& out, int bitsPerPixel, int colourCount, const uint8_t* indexes,
                     int width, int height, size_t stride) {
    const int minCodeSize = std::max(bitsPerPixel, 2);
    out += static_cast<char>(minCodeSize);
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    int bits = minCodeSize + 1;
    int codeLimit = (1 << bits) - 1;
    int nextCode = clearCode + 2;
    CodeWriter writer(out);
    CodeTable table;

    // After each code other than a clear code: widen the codes once the table outgrows them.
    auto written = [&] {
        if (nextCode > codeLimit) {
            ++bits;
            codeLimit = bits == 12 ? 4096 : (1 << bits) - 1;
        }
    };
    auto writeClear = [&] {
        writer.write(clearCode, bits);
        table.clear();
        nextCode = clearCode + 2;
        bits = minCodeSize + 1;
        codeLimit = (1 << bits) - 1;
    };
    auto pixel = [&](int x, int y) {
        const int p = indexes[static_cast<size_t>(y) * stride + static_cast<size_t>(x)];
        if (p >= colourCount)
            throw Error("Color not in color table");
        return p;
    };

    if (width > 0 && height > 0) {
        writeClear();
        int prefix = pixel(0, 0);
        for (int y = 0; y < height; ++y)
            for (int x = y == 0 ? 1 : 0; x < width; ++x) {
                const int p = pixel(x, y);
                const uint32_t key = static_cast<uint32_t>(prefix) << 8 | static_cast<uint32_t>(p);
                const int code = table.find(key);
                if (code >= 0) {
                    prefix = code;
                    continue;
                }
                writer.write(prefix, bits);
                written();
                prefix = p;
                if (nextCode > 4094)
                    writeClear();
                else
                    table.insert(key, nextCode++);
            }
        writer.write(prefix, bits);
        written();
    }
    writer.write(endCode, bits);
    written();
    writer.flush();
}

} // namespace kestrix
