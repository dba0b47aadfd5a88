// The writer factory, and the AVI writer behind the movie interface.
#include "core/movie/MovieWriter.h"

#include "core/movie/AviWriter.h"
#include "core/movie/Mp4Writer.h"
#include "core/util/Text.h"

#include <filesystem>

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

} // namespace

std::optional<MovieFormat> movieFormatForFile(const std::string& fileName) {
    const std::string extension = std::filesystem::path(fileName).extension().string();
    if (equalsIgnoreCase(extension, ".avi"))
        return MovieFormat::Avi;
    if (equalsIgnoreCase(extension, ".mp4"))
        return MovieFormat::Mp4;
    return std::nullopt;
}

std::unique_ptr<MovieWriter> makeMovieWriter(MovieFormat format, const MovieOptions& options) {
    if (format == MovieFormat::Mp4)
        return std::make_unique<Mp4Writer>(options);
    return std::make_unique<AviMovieWriter>(options);
}

} // namespace kestrix
