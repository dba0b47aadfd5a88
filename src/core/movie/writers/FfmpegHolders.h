// Owning holders for the FFmpeg objects the movie writer uses, so that every path out of a
// muxing step releases them. Only the holders' users need FFmpeg's headers.
#pragma once

#include <memory>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwsContext;

namespace kestrix {

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const;
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;

struct PacketDeleter {
    void operator()(AVPacket* packet) const;
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const;
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter {
    void operator()(AVFrame* frame) const;
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct ScalerDeleter {
    void operator()(SwsContext* context) const;
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

// Frees the context and its buffer.
struct IoContextDeleter {
    void operator()(AVIOContext* context) const;
};
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;

// FFmpeg reports to the console unless told not to; the program never logs through it.
void silenceFfmpeg();

} // namespace kestrix
