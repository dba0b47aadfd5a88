// The video decoder of a camera stream: packets in, and only whole, undamaged pictures out,
// converted to 24-bit blue, green, red.
#pragma once

#include "core/image/Bitmap.h"
#include "core/movie/writers/FfmpegHolders.h"

struct AVCodecParameters;

namespace kestrix {

class StreamDecoder {
public:
    struct Outcome {
        // A good picture came out (see picture()).
        bool picture = false;
        // A packet was refused or a frame came out damaged: what follows cannot be trusted
        // until the next key frame, after restart().
        bool damaged = false;
    };

    // Raises "Cannot decode stream: ..." when the codec cannot be opened.
    explicit StreamDecoder(const AVCodecParameters& codec);

    Outcome decode(const AVPacket& packet);
    // Hands out the pictures the decoder still holds back; the decoder must restart() after.
    Outcome drain();
    // Forgets the frames decoded so far, for a start at another key frame.
    void restart();

    // The newest good picture, converted.
    Bitmap picture() const;
    // The same as decoded, sharing the decoder's buffer: half the memory of the conversion.
    FramePtr frame() const;

private:
    Outcome send(const AVPacket* packet);

    CodecContextPtr context_;
    FramePtr received_;
    FramePtr good_;
};

// A decoded picture converted to 24 bits. Raises for a size beyond the program's budget.
Bitmap bitmapOf(const AVFrame& frame);

} // namespace kestrix
