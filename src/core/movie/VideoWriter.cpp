// TVideoWriter: frames become 24-bit BMP images, then Motion JPEG packets in an AVI file that is
// completed under a temporary name and renamed over the target at Close.
#include "movie/VideoWriter.h"

#include "image/BmpCodec.h"
#include "movie/JpegFrameEncoder.h"
#include "movie/StagedFile.h"
#include "tools/Resampler.h"
#include "util/Error.h"
#include "util/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <filesystem>
#include <mutex>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/rational.h>
}

namespace kestrix {

namespace {

constexpr int kMitchellFilter = 5;
constexpr size_t kBmpFileHeaderSize = 14;
constexpr int kMaxScale = 1 << 16;

struct ResultText {
    uint32_t code;
    const char* text;
};

constexpr ResultText kResultTexts[] = {
    {kAviClassNotRegistered, ": Unregistered File Type"},
    {kAviErrUnsupported, ": Compression Not Supported"},
    {kAviErrBadFormat, ": Bad/corrupt file format."},
    {kAviErrMemory, ": Insufficient memory."},
    {kAviErrInternal, ": AVI Internal Error"},
    {kAviErrBadFlags, ": Bad Flags"},
    {kAviErrBadParam, ": Bad Parameters"},
    {kAviErrBadSize, ": Bad size"},
    {kAviErrBadHandle, ": Bad Handle"},
    {kAviErrFileRead, ": Disk read error."},
    {kAviErrFileWrite, ": File write error"},
    {kAviErrFileOpen, ": Disk open error."},
    {kAviErrCompressor, ": Compressor Error"},
    {kAviErrNoCompressor, ": Suitable Compressor Not Found"},
    {kAviErrReadOnly, ": File opened Read only"},
    {kAviErrNoData, ": Files does not contains specified data type"},
    {kAviErrBufferTooSmall, ": Buffer Smaller Than Sample"},
    {kAviErrCantCompress, ": Unable to compress"},
    {kAviErrUserAbort, ": User abort"},
    {kAviErrError, ": AVI Error"},
};

// FFmpeg reports to the console unless told not to; the program never logs.
void silenceLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// The file name's extension with its dot: ".avi" for movie.avi, "" when there is none.
std::string fileExtension(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    const size_t slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return fileName.substr(dot);
}

uint32_t resultForErrno(int err) {
    switch (err) {
    case 0:
        return kAviOk;
    case ENOMEM:
        return kAviErrMemory;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EIO:
        return kAviErrFileWrite;
    default:
        return kAviErrFileOpen;
    }
}

// A write that failed underneath the muxer explains its failure better than the muxer's code.
uint32_t resultForFfmpeg(int result, int ioError) {
    if (ioError != 0)
        return kAviErrFileWrite;
    switch (result) {
    case AVERROR(ENOMEM):
        return kAviErrMemory;
    case AVERROR(EINVAL):
        return kAviErrBadParam;
    case AVERROR(EIO):
    case AVERROR(ENOSPC):
    case AVERROR(EFBIG):
        return kAviErrFileWrite;
    case AVERROR(ENOSYS):
    case AVERROR_PATCHWELCOME:
        return kAviErrUnsupported;
    default:
        return result < 0 ? kAviErrError : kAviOk;
    }
}

uint32_t resultForJpeg(JpegStatus status) {
    switch (status) {
    case JpegStatus::Ok:
        return kAviOk;
    case JpegStatus::BadSize:
        return kAviErrBadSize;
    case JpegStatus::OutOfMemory:
        return kAviErrMemory;
    case JpegStatus::Failed:
        break;
    }
    return kAviErrCompressor;
}

uint32_t headerField(const uint8_t* header, size_t offset) {
    return static_cast<uint32_t>(header[offset]) | static_cast<uint32_t>(header[offset + 1]) << 8 |
           static_cast<uint32_t>(header[offset + 2]) << 16 |
           static_cast<uint32_t>(header[offset + 3]) << 24;
}

// The bitmap as a 24-bit frame of width x height; an empty bitmap gives a black frame.
Bitmap conformedFrame(const Bitmap& bitmap, int width, int height) {
    if (bitmap.empty())
        return width > 0 && height > 0 ? Bitmap(width, height) : Bitmap();
    Bitmap frame = bitmap;
    frame.convertTo24();
    if (frame.width() != width || frame.height() != height)
        ResizeBitmap(frame, width, height, nullptr, kMitchellFilter);
    return frame;
}

} // namespace

MovieRate movieRateForFps(double fps) {
    if (!(fps > 0) || !std::isfinite(fps))
        return {0, 1};
    if (fps >= 1)
        return {static_cast<int32_t>(std::min(std::trunc(fps), double{INT32_MAX})), 1};
    const AVRational exact = av_d2q(fps, kMaxScale);
    return {exact.num, exact.num > 0 ? exact.den : 1};
}

TVideoWriter::TVideoWriter() = default;

TVideoWriter::~TVideoWriter() {
    release();
}

void TVideoWriter::CheckResult(uint32_t code, const std::string& message) {
    if (code == kAviOk)
        return;
    for (const ResultText& entry : kResultTexts)
        if (entry.code == code)
            throw Error(message + entry.text);
    throw Error(message + " Unknown Error: " + strPrintf("%08X", code));
}

void TVideoWriter::ConvertFrame(const Bitmap& bitmap) {
    const int width = StreamInfo.rcFrame.width(), height = StreamInfo.rcFrame.height();
    const bool sized = width > 0 && height > 0;
    if (bitmap.pixelFormat() == PixelFormat::Bit24 && !bitmap.empty() &&
        (!sized || (bitmap.width() == width && bitmap.height() == height)))
        DIBBuffer = writeBmp(bitmap);
    else if (sized)
        DIBBuffer = writeBmp(conformedFrame(bitmap, width, height));
    else
        DIBBuffer = writeBmp(conformedFrame(bitmap, bitmap.width(), bitmap.height()));
    FrameHeader = reinterpret_cast<const uint8_t*>(DIBBuffer.data()) + kBmpFileHeaderSize;
}

void TVideoWriter::Open(const Bitmap& first, const std::string& fileName) {
    release();
    Position = 0;
    StreamInfo = {};
    CompressOptions = {};
    try {
        ConvertFrame(first);
        silenceLibraries();
        createFile(fileName);
        createStream();
        createCompressor();
        setFormat();
    } catch (...) {
        release();
        throw;
    }
}

void TVideoWriter::createFile(const std::string& fileName) {
    const std::string extension = fileExtension(fileName);
    fileMessage_ = "Unable to create AVI file (\"" + extension + "\")";
    std::error_code ec;
    if (!equalsIgnoreCase(extension, ".avi")) {
        LastResult = kAviClassNotRegistered;
    } else if (std::filesystem::is_directory(fileName, ec)) {
        LastResult = kAviErrFileOpen;
    } else {
        output_ = std::make_unique<StagedFile>();
        LastResult = resultForErrno(output_->create(fileName));
    }
    CheckResult(LastResult, fileMessage_);
    AVFormatContext* context = nullptr;
    LastResult =
        resultForFfmpeg(avformat_alloc_output_context2(&context, nullptr, "avi", nullptr), 0);
    MovieFile.reset(context);
    CheckResult(LastResult, fileMessage_);
    MovieFile->pb = output_->io();
    MovieFile->flags |= AVFMT_FLAG_CUSTOM_IO;
}

void TVideoWriter::createStream() {
    const auto width = static_cast<int32_t>(headerField(FrameHeader, 4));
    const auto height = static_cast<int32_t>(headerField(FrameHeader, 8));
    StreamInfo.fccType = fourCC('v', 'i', 'd', 's');
    StreamInfo.dwScale = static_cast<uint32_t>(FrameScale);
    StreamInfo.dwRate = static_cast<uint32_t>(FrameRate);
    StreamInfo.dwSuggestedBufferSize = headerField(FrameHeader, 20);
    StreamInfo.rcFrame = {0, 0, width, height};
    LastResult = kAviOk;
    if (FrameRate <= 0 || FrameScale <= 0 || FrameStep <= 0)
        LastResult = kAviErrBadParam;
    else if (!(RawStream = avformat_new_stream(MovieFile.get(), nullptr)))
        LastResult = kAviErrMemory;
    CheckResult(LastResult, "Unable to create AVI stream");
    RawStream->time_base = AVRational{FrameScale, FrameRate};
    RawStream->avg_frame_rate = AVRational{FrameRate, FrameScale};
    AVCodecParameters* parameters = RawStream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_MJPEG;
    parameters->codec_tag = fourCC('M', 'J', 'P', 'G');
    parameters->width = width;
    parameters->height = height;
    parameters->bits_per_coded_sample = 24;
}

void TVideoWriter::createCompressor() {
    CompressOptions.fccType = fourCC('v', 'i', 'd', 's');
    CompressOptions.fccHandler = fourCC('M', 'J', 'P', 'G');
    CompressOptions.dwKeyFrameEvery = 1;
    CompressOptions.dwQuality = static_cast<uint32_t>(std::clamp(Quality, 0, 10000));
    CompressedStream = std::make_unique<JpegFrameEncoder>();
    LastResult = resultForJpeg(
        CompressedStream->start(StreamInfo.rcFrame.width(), StreamInfo.rcFrame.height(), Quality));
    if (LastResult == kAviOk) {
        packet_.reset(av_packet_alloc());
        if (!packet_)
            LastResult = kAviErrMemory;
    }
    CheckResult(LastResult, "Unable to create Compression Stream");
}

void TVideoWriter::setFormat() {
    const int result = avformat_write_header(MovieFile.get(), nullptr);
    LastResult = resultForFfmpeg(result, output_->ioError());
    CheckResult(LastResult, "Unable to set Compression Format");
}

int32_t TVideoWriter::AddFrame(const Bitmap& bitmap) {
    if (!isOpen())
        throw Error("File not open");
    try {
        ConvertFrame(bitmap);
        writeFrame();
    } catch (...) {
        // What the muxer holds after a failed write is not trusted again.
        release();
        throw;
    }
    Position += FrameStep;
    return FrameStep;
}

void TVideoWriter::writeFrame() {
    const uint8_t* pixels = FrameHeader + headerField(FrameHeader, 0) +
                            4 * static_cast<size_t>(headerField(FrameHeader, 32));
    const size_t stride = strideFor(StreamInfo.rcFrame.width(), 24);
    LastResult = resultForJpeg(CompressedStream->encode(pixels, stride));
    CheckResult(LastResult, "Unable to write AVI Frame");
    const auto jpeg = CompressedStream->output();
    LastResult = jpeg.size() > INT_MAX ? kAviErrBadSize : kAviOk;
    CheckResult(LastResult, "Unable to write AVI Frame");
    AVPacket* packet = packet_.get();
    av_packet_unref(packet);
    packet->data = const_cast<uint8_t*>(jpeg.data());
    packet->size = static_cast<int>(jpeg.size());
    packet->pts = packet->dts = Position;
    packet->duration = FrameStep;
    packet->flags = AV_PKT_FLAG_KEY;
    packet->stream_index = RawStream->index;
    av_packet_rescale_ts(packet, AVRational{FrameScale, FrameRate}, RawStream->time_base);
    LastResult = resultForFfmpeg(av_write_frame(MovieFile.get(), packet), output_->ioError());
    CheckResult(LastResult, "Unable to write AVI Frame");
}

void TVideoWriter::Close() {
    if (!isOpen())
        return;
    LastResult = resultForFfmpeg(av_write_trailer(MovieFile.get()), output_->ioError());
    // The muxer is done with the output before the file is put in place.
    MovieFile.reset();
    if (LastResult == kAviOk)
        LastResult = resultForErrno(output_->commit());
    release();
    CheckResult(LastResult, fileMessage_);
}

void TVideoWriter::Discard() noexcept {
    release();
}

void TVideoWriter::release() noexcept {
    MovieFile.reset();
    RawStream = nullptr;
    CompressedStream.reset();
    packet_.reset();
    output_.reset();
}

} // namespace kestrix
