// One camera stream opened by FFmpeg's demuxers (RTSP or HLS): the options that keep it safe and
// bounded, the watchdog behind FFmpeg's interrupt callback, the video packets, and the errors
// worded as the program words them.
#pragma once

#include "core/movie/writers/FfmpegHolders.h"
#include "core/stream/CameraStream.h"
#include "core/util/Error.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

struct AVCodecParameters;
struct AVDictionary;

namespace kestrix {

struct InputContextDeleter {
    void operator()(AVFormatContext* context) const;
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

struct CodecParametersDeleter {
    void operator()(AVCodecParameters* parameters) const;
};
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;

// Answers FFmpeg's interrupt callback: true once the stream has been silent for the time-out,
// the caller cancels or the owner stops it. The first reason found stays, so that closing a
// stream given up does not wait on it again.
class Watchdog {
public:
    enum class Reason { None, TimedOut, Canceled, Stopped };

    Watchdog(std::chrono::milliseconds timeout, std::function<bool()> cancelled);

    // Data came: the time-out starts again. Called by the thread that reads.
    void feed();
    // From any thread: FFmpeg's blocking calls return within about 100 ms.
    void stop() { stop_ = true; }
    // The cancel is only called by the reading thread; it is dropped before another thread takes
    // over the reading.
    void forgetCancel() { cancelled_ = nullptr; }
    Reason reason() const { return reason_; }
    int seconds() const;

    static int interrupt(void* watchdog);

private:
    std::chrono::milliseconds timeout_;
    std::function<bool()> cancelled_;
    std::atomic<std::chrono::steady_clock::rep> lastFeed_;
    std::atomic<bool> stop_{false};
    std::atomic<Reason> reason_{Reason::None};
};

class StreamInput {
public:
    // Connects and finds the video stream. Raises the errors CameraStream.h lists.
    StreamInput(const std::string& address, const StreamOptions& options);
    StreamInput(const StreamInput&) = delete;
    StreamInput& operator=(const StreamInput&) = delete;
    ~StreamInput();

    // The next picture of the video stream, as one packet; false once the stream has ended.
    // Raises when it breaks, times out or is canceled. A demuxer may hand over one picture in
    // parts (GStreamer's RTSP server repeats the parameter sets before each slice of a key frame,
    // and FFmpeg's parser then ends the picture at each): the parts, which share their time, are
    // put together again, so a picture is passed on when the first part of the next one comes.
    // Without this, FFmpeg's decoder draws each part as a picture with the rest concealed.
    bool read(AVPacket& packet);
    // Where a picture may start: a key frame, or any frame of an intra-only codec (MJPEG).
    bool startsPicture(const AVPacket& packet) const;
    // The video stream's codec, copied when the stream opened: the demuxer may change its own.
    const AVCodecParameters& codec() const { return *codec_; }
    Watchdog& watchdog() { return watchdog_; }
    StreamKind kind() const { return kind_; }

    // The error of a failed step, worded as the program words it: the watchdog's reason, the
    // server's answer, a socket error, or the step and FFmpeg's reason.
    Error failure(const std::string& step, int result) const;

private:
    static int openNested(AVFormatContext* context, AVIOContext** io, const char* url, int flags,
                          AVDictionary** options);
    void open(const std::string& address, bool rtspOverUdp);
    void chooseVideo();
    bool readPart(AVPacket& packet);

    StreamKind kind_;
    std::string caFile_;
    int64_t timeoutMicroseconds_;
    Watchdog watchdog_;
    int (*defaultOpen_)(AVFormatContext*, AVIOContext**, const char*, int,
                        AVDictionary**) = nullptr;
    InputContextPtr context_;
    CodecParametersPtr codec_;
    int videoIndex_ = -1;
    bool intraOnly_ = false;
    // The picture being put together, and the part just read.
    PacketPtr pending_;
    PacketPtr incoming_;
};

// "Timed out after N s without a complete picture": data comes, but nothing decodes.
Error noPictureError(int seconds);

} // namespace kestrix
