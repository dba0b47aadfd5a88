// Owning holders for the FFmpeg objects the movie writer uses, so that every path out of a
// muxing step releases them. Only the holders' users need FFmpeg's headers.
#pragma once

#include <memory>

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace kestrix {

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const;
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;

struct PacketDeleter {
    void operator()(AVPacket* packet) const;
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// Frees the context and its buffer.
struct IoContextDeleter {
    void operator()(AVIOContext* context) const;
};
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;

} // namespace kestrix
