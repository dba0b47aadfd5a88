// The holders' release functions.
#include "core/movie/FfmpegHolders.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

namespace kestrix {

void FormatContextDeleter::operator()(AVFormatContext* context) const {
    avformat_free_context(context);
}

void PacketDeleter::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

// The library may have replaced the buffer it was given, so it is freed through the context.
void IoContextDeleter::operator()(AVIOContext* context) const {
    av_freep(&context->buffer);
    avio_context_free(&context);
}

} // namespace kestrix
