// AviWriter: frames become 24-bit BMP images, then Motion JPEG packets in an AVI file that is
// completed under a temporary name and renamed over the target at Close.
#include "core/movie/writers/AviWriter.h"

#include "core/image/BmpCodec.h"
#include "core/movie/MovieFrame.h"
#include "core/movie/writers/JpegFrameEncoder.h"
#include "core/movie/writers/MovieOutput.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <filesystem>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/rational.h>
}

namespace kestrix {

namespace {

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

// A movie written in place reaches the file at every frame and the disk at every tenth.
int syncedFrame(MovieOutput& output, int32_t position) {
    constexpr int32_t kSyncEvery = 10;
    if ((position + 1) % kSyncEvery == 0)
        return output.sync();
    avio_flush(output.io());
    return output.ioError();
}

uint32_t headerField(const uint8_t* header, size_t offset) {
    return static_cast<uint32_t>(header[offset]) | static_cast<uint32_t>(header[offset + 1]) << 8 |
           static_cast<uint32_t>(header[offset + 2]) << 16 |
           static_cast<uint32_t>(header[offset + 3]) << 24;
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

AviWriter::AviWriter() = default;

AviWriter::~AviWriter() {
    release();
}

void AviWriter::checkResult(uint32_t code, const std::string& message) {
    if (code == kAviOk)
        return;
    for (const ResultText& entry : kResultTexts)
        if (entry.code == code)
            throw Error(message + entry.text);
    throw Error(message + " Unknown Error: " + strPrintf("%08X", code));
}

void AviWriter::convertFrame(const Bitmap& bitmap) {
    Bitmap storage;
    dibBuffer = writeBmp(
        movieFrame(bitmap, streamInfo.rcFrame.width(), streamInfo.rcFrame.height(), storage));
    frameHeader = reinterpret_cast<const uint8_t*>(dibBuffer.data()) + kBmpFileHeaderSize;
}

void AviWriter::open(const Bitmap& first, const std::string& fileName) {
    release();
    position = 0;
    streamInfo = {};
    compressOptions = {};
    try {
        convertFrame(first);
        silenceFfmpeg();
        createFile(fileName);
        createStream();
        createCompressor();
        setFormat();
    } catch (...) {
        release();
        throw;
    }
}

void AviWriter::createFile(const std::string& fileName) {
    const std::string extension = fileExtension(fileName);
    fileMessage_ = "Unable to create AVI file (\"" + extension + "\")";
    std::error_code ec;
    if (!equalsIgnoreCase(extension, ".avi")) {
        lastResult = kAviClassNotRegistered;
    } else if (std::filesystem::is_directory(fileName, ec)) {
        lastResult = kAviErrFileOpen;
    } else {
        output_ = std::make_unique<MovieOutput>();
        lastResult = resultForErrno(
            output_->create(fileName, inPlace ? OutputMode::InPlace : OutputMode::Staged));
    }
    checkResult(lastResult, fileMessage_);
    AVFormatContext* context = nullptr;
    lastResult =
        resultForFfmpeg(avformat_alloc_output_context2(&context, nullptr, "avi", nullptr), 0);
    movieFile.reset(context);
    checkResult(lastResult, fileMessage_);
    movieFile->pb = output_->io();
    movieFile->flags |= AVFMT_FLAG_CUSTOM_IO;
}

void AviWriter::createStream() {
    const auto width = static_cast<int32_t>(headerField(frameHeader, 4));
    const auto height = static_cast<int32_t>(headerField(frameHeader, 8));
    streamInfo.fccType = fourCC('v', 'i', 'd', 's');
    streamInfo.dwScale = static_cast<uint32_t>(frameScale);
    streamInfo.dwRate = static_cast<uint32_t>(frameRate);
    streamInfo.dwSuggestedBufferSize = headerField(frameHeader, 20);
    streamInfo.rcFrame = {0, 0, width, height};
    lastResult = kAviOk;
    if (frameRate <= 0 || frameScale <= 0 || frameStep <= 0)
        lastResult = kAviErrBadParam;
    else if (!(rawStream = avformat_new_stream(movieFile.get(), nullptr)))
        lastResult = kAviErrMemory;
    checkResult(lastResult, "Unable to create AVI stream");
    rawStream->time_base = AVRational{frameScale, frameRate};
    rawStream->avg_frame_rate = AVRational{frameRate, frameScale};
    AVCodecParameters* parameters = rawStream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_MJPEG;
    parameters->codec_tag = fourCC('M', 'J', 'P', 'G');
    parameters->width = width;
    parameters->height = height;
    parameters->bits_per_coded_sample = 24;
}

void AviWriter::createCompressor() {
    compressOptions.fccType = fourCC('v', 'i', 'd', 's');
    compressOptions.fccHandler = fourCC('M', 'J', 'P', 'G');
    compressOptions.dwKeyFrameEvery = 1;
    compressOptions.dwQuality = static_cast<uint32_t>(std::clamp(quality, 0, 10000));
    compressedStream = std::make_unique<JpegFrameEncoder>();
    lastResult = resultForJpeg(
        compressedStream->start(streamInfo.rcFrame.width(), streamInfo.rcFrame.height(), quality));
    if (lastResult == kAviOk) {
        packet_.reset(av_packet_alloc());
        if (!packet_)
            lastResult = kAviErrMemory;
    }
    checkResult(lastResult, "Unable to create Compression Stream");
}

void AviWriter::setFormat() {
    const int result = avformat_write_header(movieFile.get(), nullptr);
    lastResult = resultForFfmpeg(result, output_->ioError());
    checkResult(lastResult, "Unable to set Compression Format");
}

int32_t AviWriter::addFrame(const Bitmap& bitmap) {
    if (!isOpen())
        throw Error("File not open");
    try {
        convertFrame(bitmap);
        writeFrame();
    } catch (...) {
        // What the muxer holds after a failed write is not trusted again.
        release();
        throw;
    }
    position += frameStep;
    return frameStep;
}

void AviWriter::writeFrame() {
    const uint8_t* pixels = frameHeader + headerField(frameHeader, 0) +
                            4 * static_cast<size_t>(headerField(frameHeader, 32));
    const size_t stride = strideFor(streamInfo.rcFrame.width(), 24);
    lastResult = resultForJpeg(compressedStream->encode(pixels, stride));
    checkResult(lastResult, "Unable to write AVI Frame");
    writePacket(compressedStream->output());
}

std::vector<uint8_t> AviWriter::compressFrame(const Bitmap& bitmap) const {
    if (!isOpen())
        throw Error("File not open");
    Bitmap storage;
    const Bitmap& frame =
        movieFrame(bitmap, streamInfo.rcFrame.width(), streamInfo.rcFrame.height(), storage);
    JpegFrameEncoder encoder;
    uint32_t result = resultForJpeg(encoder.start(frame.width(), frame.height(), quality));
    if (result == kAviOk)
        result = resultForJpeg(encoder.encodeTopDown(frame.scanLine(0), frame.stride()));
    checkResult(result, "Unable to write AVI Frame");
    return encoder.takeOutput();
}

int32_t AviWriter::addCompressedFrame(std::span<const uint8_t> jpeg) {
    if (!isOpen())
        throw Error("File not open");
    try {
        writePacket(jpeg);
    } catch (...) {
        release();
        throw;
    }
    position += frameStep;
    return frameStep;
}

void AviWriter::writePacket(std::span<const uint8_t> jpeg) {
    lastResult = jpeg.size() > INT_MAX ? kAviErrBadSize : kAviOk;
    checkResult(lastResult, "Unable to write AVI Frame");
    AVPacket* packet = packet_.get();
    av_packet_unref(packet);
    packet->data = const_cast<uint8_t*>(jpeg.data());
    packet->size = static_cast<int>(jpeg.size());
    packet->pts = packet->dts = position;
    packet->duration = frameStep;
    packet->flags = AV_PKT_FLAG_KEY;
    packet->stream_index = rawStream->index;
    av_packet_rescale_ts(packet, AVRational{frameScale, frameRate}, rawStream->time_base);
    lastResult = resultForFfmpeg(av_write_frame(movieFile.get(), packet), output_->ioError());
    if (lastResult == kAviOk && inPlace)
        lastResult = resultForErrno(syncedFrame(*output_, position));
    checkResult(lastResult, "Unable to write AVI Frame");
}

void AviWriter::close() {
    if (!isOpen())
        return;
    lastResult = resultForFfmpeg(av_write_trailer(movieFile.get()), output_->ioError());
    // The muxer is done with the output before the file is put in place.
    movieFile.reset();
    if (lastResult == kAviOk)
        lastResult = resultForErrno(output_->commit());
    release();
    checkResult(lastResult, fileMessage_);
}

void AviWriter::discard() noexcept {
    release();
}

void AviWriter::release() noexcept {
    movieFile.reset();
    rawStream = nullptr;
    compressedStream.reset();
    packet_.reset();
    output_.reset();
}

} // namespace kestrix
