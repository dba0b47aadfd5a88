// The movie module's entries: the movie writers (the AVI writer behind the movie interface) and
// the camera streams.
#include "core/movie/MovieModule.h"

#include "core/movie/writers/AviWriter.h"
#include "core/movie/writers/FfmpegStreams.h"
#include "core/movie/writers/Mp4Writer.h"

namespace kestrix {

namespace {

struct CompressedFrame final : PreparedFrame {
    std::vector<uint8_t> jpeg;
};

class AviMovieWriter final : public MovieWriter {
public:
    explicit AviMovieWriter(const MovieOptions& options) {
        const MovieRate rate = movieRateForFps(options.fps);
        writer_.frameRate = rate.rate;
        writer_.frameScale = rate.scale;
        writer_.frameStep = 1;
        writer_.quality = options.quality;
        writer_.inPlace = options.live;
    }

    void open(const Bitmap& first, const std::string& fileName) override {
        writer_.open(first, fileName);
    }
    std::unique_ptr<PreparedFrame> prepare(const Bitmap& frame) const override {
        auto prepared = std::make_unique<CompressedFrame>();
        prepared->jpeg = writer_.compressFrame(frame);
        return prepared;
    }
    void write(PreparedFrame& frame) override {
        writer_.addCompressedFrame(dynamic_cast<CompressedFrame&>(frame).jpeg);
    }
    void close() override { writer_.close(); }
    void discard() noexcept override { writer_.discard(); }

private:
    AviWriter writer_;
};

MovieWriter* newMovieWriter(MovieFormat format, const MovieOptions& options) {
    if (format == MovieFormat::Mp4)
        return new Mp4Writer(options);
    return new AviMovieWriter(options);
}

} // namespace

} // namespace kestrix

extern "C" __attribute__((visibility("default"))) kestrix::MovieWriter*
kestrixMakeMovieWriter(int interface, kestrix::MovieFormat format,
                       const kestrix::MovieOptions& options, kestrix::FileStepHook announce) {
    if (interface != kestrix::kMovieModuleInterface)
        return nullptr;
    kestrix::setFileStepHook(announce);
    return kestrix::newMovieWriter(format, options);
}

extern "C" __attribute__((visibility("default"))) const kestrix::StreamProvider*
kestrixStreamProvider(int interface) {
    return interface == kestrix::kStreamModuleInterface ? &kestrix::ffmpegStreamProvider()
                                                        : nullptr;
}
