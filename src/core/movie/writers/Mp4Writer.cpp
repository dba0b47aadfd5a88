// Mp4Writer: frames become 4:2:0 pictures through libswscale, H.264 packets through libx264 and
// an MP4 file through FFmpeg's muxer, written under a temporary name (finished movies) or in
// place (live movies).
#include "core/movie/writers/Mp4Writer.h"

#include "core/movie/MovieFrame.h"
#include "core/movie/writers/MovieOutput.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/rational.h>
#include <libswscale/swscale.h>
}

namespace kestrix {

namespace {

constexpr int kMaxRateScale = 1 << 16;
constexpr int kMaxKeyFrameInterval = 250;
constexpr double kMaxKeyFrameSeconds = 10;
// A live movie's fragments: each one is written and synced when it holds this many frames.
constexpr int64_t kFramesPerFragment = 10;

struct YuvFrame final : PreparedFrame {
    FramePtr picture;
};

std::string ffmpegText(int result) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(result, text, sizeof text);
    return text;
}

// Dictionary entries for FFmpeg's option setters; the dictionary is freed on every path.
struct Options {
    AVDictionary* entries = nullptr;
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&entries); }
    void set(const char* key, const std::string& value) {
        av_dict_set(&entries, key, value.c_str(), 0);
    }
};

// Odd sizes are stored one pixel larger: the last column and row are repeated there.
void repeatLastColumnAndRow(AVFrame& picture, int width, int height) {
    uint8_t* luma = picture.data[0];
    const int stride = picture.linesize[0];
    if (picture.width > width)
        for (int y = 0; y < height; ++y)
            luma[y * stride + width] = luma[y * stride + width - 1];
    if (picture.height > height)
        std::memcpy(luma + static_cast<ptrdiff_t>(height) * stride,
                    luma + static_cast<ptrdiff_t>(height - 1) * stride,
                    static_cast<size_t>(picture.width));
}

} // namespace

int crfForQuality(int quality) {
    const int q = std::clamp(quality, 0, 10000);
    return std::max(1, static_cast<int>(std::lround(51.0 * (10000 - q) / 10000)));
}

ExactRate exactRateForFps(double fps) {
    if (!(fps > 0) || !std::isfinite(fps))
        return {};
    const AVRational exact = av_d2q(fps, kMaxRateScale);
    if (exact.num <= 0 || exact.den <= 0)
        return {};
    return {exact.num, exact.den};
}

int keyFrameInterval(ExactRate rate) {
    if (rate.num <= 0)
        return 1;
    const double frames = std::floor(kMaxKeyFrameSeconds * rate.num / rate.den);
    return static_cast<int>(std::clamp(frames, 1.0, double{kMaxKeyFrameInterval}));
}

Mp4Writer::Mp4Writer(const MovieOptions& options)
    : options_(options), rate_(exactRateForFps(options.fps)) {}

Mp4Writer::~Mp4Writer() {
    release();
}

void Mp4Writer::fail(const std::string& step, int result) {
    const int ioError = output_ ? output_->ioError() : 0;
    const std::string reason = ioError != 0 ? systemErrorText(ioError) : ffmpegText(result);
    release();
    throw Error(step + ": " + reason);
}

void Mp4Writer::open(const Bitmap& first, const std::string& fileName) {
    release();
    fileName_ = fileName;
    position_ = 0;
    const std::string step = "Unable to create MP4 file \"" + fileName + "\"";
    if (rate_.num <= 0)
        throw Error(step + ": the frame rate must be above 0");
    Bitmap storage;
    const Bitmap& frame = movieFrame(first, 0, 0, storage);
    if (frame.empty())
        throw Error(step + ": the first frame is empty");
    width_ = frame.width();
    height_ = frame.height();
    codedWidth_ = width_ + width_ % 2;
    codedHeight_ = height_ + height_ % 2;
    silenceFfmpeg();
    try {
        createFile(fileName);
        createEncoder();
        writeHeader();
    } catch (...) {
        release();
        throw;
    }
}

void Mp4Writer::createFile(const std::string& fileName) {
    const std::string step = "Unable to create MP4 file \"" + fileName + "\"";
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec))
        throw Error(step + ": " + systemErrorText(EISDIR));
    output_ = std::make_unique<MovieOutput>();
    if (const int err = output_->create(fileName, options_.live ? OutputMode::InPlace
                                                                : OutputMode::StagedNamed))
        throw Error(step + ": " + systemErrorText(err));
    AVFormatContext* context = nullptr;
    const int result = avformat_alloc_output_context2(&context, nullptr, "mp4", nullptr);
    movie_.reset(context);
    if (result < 0)
        fail(step, result);
    movie_->pb = output_->io();
    movie_->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The fast-start pass reopens the finished file by this name to move the index forward.
    movie_->url = av_strdup(output_->ffmpegUrl().c_str());
    packet_.reset(av_packet_alloc());
    if (!movie_->url || !packet_)
        fail(step, AVERROR(ENOMEM));
}

void Mp4Writer::createEncoder() {
    const std::string step = "Unable to create the H.264 encoder";
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        throw Error(step + ": FFmpeg's libavcodec was built without libx264");
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_)
        fail(step, AVERROR(ENOMEM));
    AVCodecContext& c = *encoder_;
    c.width = codedWidth_;
    c.height = codedHeight_;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = AVRational{rate_.den, rate_.num};
    c.framerate = AVRational{rate_.num, rate_.den};
    c.sample_aspect_ratio = AVRational{1, 1};
    c.gop_size = keyFrameInterval(rate_);
    // sRGB pictures, converted with the BT.601 matrix into the limited range.
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_SMPTE170M;
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
    // x264 chooses its own number of threads.
    c.thread_count = 0;
    if (movie_->oformat->flags & AVFMT_GLOBALHEADER)
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Options options;
    options.set("preset", "medium");
    options.set("profile", "high");
    options.set("crf", std::to_string(crfForQuality(options_.quality)));
    // A live movie's frames must reach the file as they arrive, not after a look-ahead. A
    // finished one looks 20 frames ahead rather than the preset's 40: as small a movie from
    // camera frames, in a quarter less memory.
    if (options_.live)
        options.set("tune", "zerolatency");
    else
        options.set("x264-params", "rc-lookahead=20");
    if (const int result = avcodec_open2(encoder_.get(), codec, &options.entries); result < 0)
        fail(step, result);
    stream_ = avformat_new_stream(movie_.get(), nullptr);
    if (!stream_)
        fail(step, AVERROR(ENOMEM));
    stream_->time_base = c.time_base;
    stream_->avg_frame_rate = c.framerate;
    if (const int result = avcodec_parameters_from_context(stream_->codecpar, encoder_.get());
        result < 0)
        fail(step, result);
}

void Mp4Writer::writeHeader() {
    Options options;
    options.set("movflags",
                options_.live ? "+frag_custom+empty_moov+default_base_moof" : "+faststart");
    if (const int result = avformat_write_header(movie_.get(), &options.entries); result < 0)
        fail("Unable to create MP4 file \"" + fileName_ + "\"", result);
}

std::unique_ptr<PreparedFrame> Mp4Writer::prepare(const Bitmap& bitmap) const {
    const std::string step = "Unable to convert an MP4 frame";
    if (!encoder_)
        throw Error("File not open");
    Bitmap storage;
    const Bitmap& frame = movieFrame(bitmap, width_, height_, storage);
    auto prepared = std::make_unique<YuvFrame>();
    prepared->picture.reset(av_frame_alloc());
    if (!prepared->picture)
        throw Error(step + ": " + ffmpegText(AVERROR(ENOMEM)));
    AVFrame& picture = *prepared->picture;
    picture.format = AV_PIX_FMT_YUV420P;
    picture.width = codedWidth_;
    picture.height = codedHeight_;
    if (const int result = av_frame_get_buffer(&picture, 0); result < 0)
        throw Error(step + ": " + ffmpegText(result));
    // Accurate rounding also keeps the converter off its fast path, which takes chroma from one
    // pixel of four instead of filtering it.
    const ScalerPtr scaler(sws_getContext(
        width_, height_, AV_PIX_FMT_BGR24, width_, height_, AV_PIX_FMT_YUV420P,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
    if (!scaler)
        throw Error(step + ": " + ffmpegText(AVERROR(ENOMEM)));
    const uint8_t* const source[] = {frame.scanLine(0)};
    const int sourceStride[] = {static_cast<int>(frame.stride())};
    sws_scale(scaler.get(), source, sourceStride, 0, height_, picture.data, picture.linesize);
    repeatLastColumnAndRow(picture, width_, height_);
    return prepared;
}

void Mp4Writer::write(PreparedFrame& frame) {
    if (!encoder_)
        throw Error("File not open");
    AVFrame& picture = *dynamic_cast<YuvFrame&>(frame).picture;
    picture.pts = position_;
    encode(&picture);
    ++position_;
    if (options_.live && position_ % kFramesPerFragment == 0) {
        const int result = av_write_frame(movie_.get(), nullptr);
        if (result < 0 || output_->sync() != 0)
            fail("Unable to write MP4 frame", result);
    }
}

void Mp4Writer::encode(const AVFrame* frame) {
    const std::string step = "Unable to write MP4 frame";
    int result = avcodec_send_frame(encoder_.get(), frame);
    if (result < 0)
        fail(step, result);
    AVPacket* packet = packet_.get();
    while ((result = avcodec_receive_packet(encoder_.get(), packet)) >= 0) {
        // Every picture lasts one frame, the last one included.
        packet->duration = 1;
        av_packet_rescale_ts(packet, encoder_->time_base, stream_->time_base);
        packet->stream_index = stream_->index;
        result = av_write_frame(movie_.get(), packet);
        av_packet_unref(packet);
        if (result < 0)
            fail(step, result);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        fail(step, result);
}

void Mp4Writer::close() {
    if (!encoder_)
        return;
    const std::string step = "Unable to complete MP4 file \"" + fileName_ + "\"";
    encode(nullptr);
    if (const int result = av_write_trailer(movie_.get()); result < 0)
        fail(step, result);
    // The muxer is done with the output before the file is put in place.
    movie_.reset();
    if (const int err = output_->commit()) {
        release();
        throw Error(step + ": " + systemErrorText(err));
    }
    release();
}

void Mp4Writer::discard() noexcept {
    release();
}

void Mp4Writer::release() noexcept {
    movie_.reset();
    stream_ = nullptr;
    encoder_.reset();
    packet_.reset();
    output_.reset();
}

} // namespace kestrix
