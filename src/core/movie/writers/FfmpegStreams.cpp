// The one-picture grab, and the provider the module's entry hands out.
#include "core/movie/writers/FfmpegStreams.h"

#include "core/movie/writers/LiveStream.h"
#include "core/movie/writers/StreamDecoder.h"
#include "core/movie/writers/StreamInput.h"

#include <cerrno>
#include <chrono>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/error.h>
}

namespace kestrix {

namespace {

class FfmpegStreamProvider final : public StreamProvider {
public:
    Bitmap grab(const std::string& address, const StreamOptions& options) const override {
        return grabFirstPicture(address, options);
    }
    std::unique_ptr<StreamConnection> connect(const std::string& address,
                                              const StreamOptions& options) const override {
        return std::make_unique<LiveStream>(address, options);
    }
};

} // namespace

Bitmap grabFirstPicture(const std::string& address, const StreamOptions& options) {
    StreamInput input(address, options);
    StreamDecoder decoder(input.codec());
    const PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw input.failure("Cannot read stream", AVERROR(ENOMEM));
    // Data that keeps coming without ever decoding must end too.
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    bool started = false;
    while (input.read(*packet)) {
        if (!started && !input.startsPicture(*packet))
            continue;
        started = true;
        const StreamDecoder::Outcome outcome = decoder.decode(*packet);
        if (outcome.picture)
            return decoder.picture();
        // Frames after a damaged one may be built on it: the next key frame starts afresh.
        if (outcome.damaged) {
            decoder.restart();
            started = false;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            throw noPictureError(input.watchdog().seconds());
    }
    if (started && decoder.drain().picture)
        return decoder.picture();
    throw Error("Stream ended before a complete picture");
}

const StreamProvider& ffmpegStreamProvider() {
    static const FfmpegStreamProvider provider;
    return provider;
}

} // namespace kestrix
