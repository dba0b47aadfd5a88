// Decoding with FFmpeg's send/receive calls on one thread, without frame delay; frames that the
// decoder flags as corrupt or concealed are never kept.
#include "core/movie/writers/StreamDecoder.h"

#include "core/util/Error.h"

#include <cerrno>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace kestrix {

namespace {

[[noreturn]] void failDecoder(int result) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(result, text, sizeof text);
    throw Error(std::string("Cannot decode stream: ") + text);
}

// swscale's matrix numbers follow the colour space numbers; unknown ones take its default
// (BT.601), as players do.
int matrixOf(const AVFrame& frame) {
    switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return frame.colorspace;
    default:
        return SWS_CS_DEFAULT;
    }
}

bool fullRange(const AVFrame& frame) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    return frame.color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
           format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

} // namespace

StreamDecoder::StreamDecoder(const AVCodecParameters& codec) {
    const AVCodec* decoder = avcodec_find_decoder(codec.codec_id);
    if (decoder == nullptr)
        throw Error(std::string("Cannot decode stream: FFmpeg has no decoder for ") +
                    avcodec_get_name(codec.codec_id));
    context_.reset(avcodec_alloc_context3(decoder));
    received_.reset(av_frame_alloc());
    good_.reset(av_frame_alloc());
    if (!context_ || !received_ || !good_)
        failDecoder(AVERROR(ENOMEM));
    if (const int result = avcodec_parameters_to_context(context_.get(), &codec); result < 0)
        failDecoder(result);
    // One thread and no reordering delay: the picture of a packet comes out as it is sent, which
    // is what a grab waits for; threads would hold frames back.
    context_->thread_count = 1;
    context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    // The decoder refuses pictures beyond the program's budget before it allocates them.
    context_->max_pixels = kMaxImagePixels;
    if (const int result = avcodec_open2(context_.get(), decoder, nullptr); result < 0)
        failDecoder(result);
}

StreamDecoder::Outcome StreamDecoder::decode(const AVPacket& packet) {
    return send(&packet);
}

StreamDecoder::Outcome StreamDecoder::drain() {
    return send(nullptr);
}

void StreamDecoder::restart() {
    avcodec_flush_buffers(context_.get());
}

StreamDecoder::Outcome StreamDecoder::send(const AVPacket* packet) {
    Outcome outcome;
    const int sent = avcodec_send_packet(context_.get(), packet);
    if (sent < 0 && sent != AVERROR_EOF)
        outcome.damaged = true;
    for (;;) {
        const int result = avcodec_receive_frame(context_.get(), received_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            break;
        if (result < 0) {
            outcome.damaged = true;
            break;
        }
        if ((received_->flags & AV_FRAME_FLAG_CORRUPT) != 0 || received_->decode_error_flags != 0) {
            outcome.damaged = true;
        } else {
            av_frame_unref(good_.get());
            av_frame_move_ref(good_.get(), received_.get());
            outcome.picture = true;
        }
        av_frame_unref(received_.get());
    }
    return outcome;
}

Bitmap StreamDecoder::picture() const {
    return bitmapOf(*good_);
}

FramePtr StreamDecoder::frame() const {
    FramePtr copy(av_frame_clone(good_.get()));
    if (!copy)
        failDecoder(AVERROR(ENOMEM));
    return copy;
}

Bitmap bitmapOf(const AVFrame& frame) {
    checkImageSize(frame.width, frame.height);
    Bitmap bitmap(frame.width, frame.height, PixelFormat::Bit24);
    // Bicubic chroma, interpolated across the full width: colour edges stay where the camera
    // put them.
    const ScalerPtr scaler(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, AV_PIX_FMT_BGR24, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
        nullptr, nullptr, nullptr));
    if (!scaler) {
        const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format));
        throw Error(std::string("Cannot convert the stream's pictures from ") +
                    (name != nullptr ? name : "an unknown pixel format"));
    }
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(matrixOf(frame)),
                             fullRange(frame) ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
    uint8_t* const target[] = {bitmap.scanLine(0)};
    const int targetStride[] = {static_cast<int>(bitmap.stride())};
    sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, target, targetStride);
    return bitmap;
}

} // namespace kestrix
