// The holders' release functions.
#include "core/movie/writers/FfmpegHolders.h"

#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace kestrix {

void FormatContextDeleter::operator()(AVFormatContext* context) const {
    avformat_free_context(context);
}

void CodecContextDeleter::operator()(AVCodecContext* context) const {
    avcodec_free_context(&context);
}

void FrameDeleter::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

void ScalerDeleter::operator()(SwsContext* context) const {
    sws_freeContext(context);
}

void PacketDeleter::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

// The library may have replaced the buffer it was given, so it is freed through the context.
void IoContextDeleter::operator()(AVIOContext* context) const {
    av_freep(&context->buffer);
    avio_context_free(&context);
}

void silenceFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

} // namespace kestrix
