// Bounds-checked little-endian reading from a byte buffer; running past the end raises
// "Stream read error".
#pragma once

#include "core/util/Error.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestrix {

class ByteReader {
public:
    explicit ByteReader(std::string_view data) : data_(data) {}

    size_t position() const { return pos_; }
    size_t size() const { return data_.size(); }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    void seek(size_t pos) {
        if (pos > data_.size())
            throwStreamRead();
        pos_ = pos;
    }
    void skip(size_t n) {
        if (n > remaining())
            throwStreamRead();
        pos_ += n;
    }
    std::string_view bytes(size_t n) {
        if (n > remaining())
            throwStreamRead();
        std::string_view v = data_.substr(pos_, n);
        pos_ += n;
        return v;
    }
    uint8_t u8() { return static_cast<uint8_t>(bytes(1)[0]); }
    uint16_t u16() {
        auto b = bytes(2);
        return static_cast<uint16_t>(static_cast<uint8_t>(b[0]) | static_cast<uint8_t>(b[1]) << 8);
    }
    uint32_t u32() {
        auto b = bytes(4);
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<uint8_t>(b[static_cast<size_t>(i)]);
        return v;
    }
    int16_t i16() { return static_cast<int16_t>(u16()); }
    int32_t i32() { return static_cast<int32_t>(u32()); }

private:
    std::string_view data_;
    size_t pos_ = 0;
};

// Little-endian appends to a byte string.
inline void putU16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
inline void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace kestrix
