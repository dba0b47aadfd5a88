// Opening a camera stream through FFmpeg: RTSP over TCP (or UDP), HLS over http and https with
// the certificate checked, every nested connection bounded by the time-out and every blocking
// call by the watchdog.
#include "core/movie/writers/StreamInput.h"

#include "core/acquire/StatusTexts.h"
#include "core/net/SocketErrors.h"
#include "core/stream/StreamProvider.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace kestrix {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The last error FFmpeg logged on this thread. Its return codes alone often say no more than
// "I/O error" where the log says which certificate check failed.
thread_local std::string tLoggedError;

void keepLoggedError(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR)
        return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, arguments);
    // FFmpeg may log one line in pieces; a piece after a finished line starts a new message.
    if (!tLoggedError.empty() && tLoggedError.back() == '\n')
        tLoggedError.clear();
    tLoggedError += line;
}

std::string loggedError() {
    std::string text = tLoggedError;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Once per process: FFmpeg prints nothing (the program never logs through it), GnuTLS stays
// initialised instead of being set up again for each connection.
void prepareFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] {
        silenceFfmpeg();
        av_log_set_callback(keepLoggedError);
        avformat_network_init();
    });
}

std::string ffmpegReason(int result) {
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

const char* serverAnswer(int result) {
    switch (result) {
    case AVERROR_HTTP_BAD_REQUEST:
        return "400 Bad Request";
    case AVERROR_HTTP_UNAUTHORIZED:
        return "401 Unauthorized";
    case AVERROR_HTTP_FORBIDDEN:
        return "403 Forbidden";
    case AVERROR_HTTP_NOT_FOUND:
        return "404 Not Found";
    case AVERROR_HTTP_OTHER_4XX:
        return "4xx Client Error";
    case AVERROR_HTTP_SERVER_ERROR:
        return "5xx Server Error";
    default:
        return nullptr;
    }
}

// The connection failures the socket layer has its own words for.
bool isSocketFailure(int result) {
    for (const int code : {ECONNREFUSED, ECONNRESET, ECONNABORTED, ENETUNREACH, EHOSTUNREACH,
                           ENETDOWN, EHOSTDOWN, EADDRNOTAVAIL, EPIPE})
        if (result == AVERROR(code))
            return true;
    return false;
}

constexpr int kHostNotFound = 11001;

// A picture put together from parts beyond this size is handed on as it is.
constexpr int kMaxPictureBytes = 32 << 20;

// Whether `part` belongs to the picture begun in `picture`: it has the same time, or the picture
// has none yet (RTSP's first packet) and both are parts of a key frame.
bool continuesPicture(const AVPacket& picture, const AVPacket& part) {
    if (picture.size + part.size > kMaxPictureBytes || part.pts == AV_NOPTS_VALUE)
        return false;
    if (picture.pts == AV_NOPTS_VALUE)
        return (picture.flags & part.flags & AV_PKT_FLAG_KEY) != 0;
    return part.pts == picture.pts;
}

// Appends the data of `part` to `picture`, which takes the part's time when it had none.
void append(AVPacket& picture, const AVPacket& part) {
    const int size = picture.size;
    if (av_packet_make_writable(&picture) < 0 || av_grow_packet(&picture, part.size) < 0)
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    std::memcpy(picture.data + size, part.data, static_cast<size_t>(part.size));
    if (picture.pts == AV_NOPTS_VALUE) {
        picture.pts = part.pts;
        picture.dts = part.dts;
    }
}

// Codecs cameras send. Others are refused rather than handed to a decoder nobody tested here.
bool isCameraCodec(AVCodecID codec) {
    return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC || codec == AV_CODEC_ID_MJPEG ||
           codec == AV_CODEC_ID_MPEG4;
}

} // namespace

void InputContextDeleter::operator()(AVFormatContext* context) const {
    avformat_close_input(&context);
}

void CodecParametersDeleter::operator()(AVCodecParameters* parameters) const {
    avcodec_parameters_free(&parameters);
}

Watchdog::Watchdog(std::chrono::milliseconds timeout, std::function<bool()> cancelled)
    : timeout_(timeout), cancelled_(std::move(cancelled)) {
    feed();
}

void Watchdog::feed() {
    lastFeed_ = SteadyClock::now().time_since_epoch().count();
}

int Watchdog::seconds() const {
    return static_cast<int>(std::max<int64_t>(1, (timeout_.count() + 999) / 1000));
}

int Watchdog::interrupt(void* watchdog) {
    auto& self = *static_cast<Watchdog*>(watchdog);
    if (self.reason_ != Reason::None)
        return 1;
    const SteadyClock::duration silent =
        SteadyClock::now().time_since_epoch() - SteadyClock::duration(self.lastFeed_);
    if (self.stop_)
        self.reason_ = Reason::Stopped;
    else if (self.cancelled_ && self.cancelled_())
        self.reason_ = Reason::Canceled;
    else if (silent > self.timeout_)
        self.reason_ = Reason::TimedOut;
    else
        return 0;
    return 1;
}

StreamInput::StreamInput(const std::string& address, const StreamOptions& options)
    : kind_(streamKindOf(address)), caFile_(options.caFile),
      // The protocols' own time-outs are a second longer: a backstop should the watchdog not be
      // asked, never the first to speak (their errors say less).
      timeoutMicroseconds_(
          std::chrono::microseconds(options.timeout + std::chrono::seconds(1)).count()),
      watchdog_(options.timeout, options.cancelled) {
    prepareFfmpeg();
    tLoggedError.clear();
    pending_.reset(av_packet_alloc());
    incoming_.reset(av_packet_alloc());
    if (!pending_ || !incoming_)
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    open(address, options.rtspOverUdp);
    chooseVideo();
}

StreamInput::~StreamInput() = default;

void StreamInput::open(const std::string& address, bool rtspOverUdp) {
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr)
        throw failure("Cannot open stream", AVERROR(ENOMEM));
    context->interrupt_callback = {&Watchdog::interrupt, &watchdog_};
    Options options;
    if (kind_ == StreamKind::Rtsp) {
        options.set("rtsp_transport", rtspOverUdp ? "udp" : "tcp");
        options.set("timeout", std::to_string(timeoutMicroseconds_));
        options.set("protocol_whitelist", "rtsp,tcp,udp,rtp");
    } else {
        // Playlists and segments, and reloads later on, all open through openNested.
        context->opaque = this;
        defaultOpen_ = context->io_open;
        context->io_open = &StreamInput::openNested;
        options.set("protocol_whitelist", "http,https,tls,tcp,crypto,httpproxy");
        // A live playlist is read from its newest segment: the newest picture comes first.
        options.set("live_start_index", "-1");
    }
    const AVInputFormat* format = av_find_input_format(kind_ == StreamKind::Rtsp ? "rtsp" : "hls");
    // On failure FFmpeg frees the context itself.
    const int result = avformat_open_input(&context, address.c_str(), format, &options.entries);
    context_.reset(context);
    if (result < 0)
        throw failure("Cannot open stream", result);
}

int StreamInput::openNested(AVFormatContext* context, AVIOContext** io, const char* url, int flags,
                            AVDictionary** options) {
    const auto& self = *static_cast<const StreamInput*>(context->opaque);
    AVDictionary* own = nullptr;
    AVDictionary** entries = options != nullptr ? options : &own;
    // FFmpeg's TLS checks nothing unless told to; with a CA file it trusts that file alone.
    av_dict_set(entries, "tls_verify", "1", 0);
    if (!self.caFile_.empty())
        av_dict_set(entries, "ca_file", self.caFile_.c_str(), 0);
    av_dict_set_int(entries, "rw_timeout", self.timeoutMicroseconds_, 0);
    const int result = self.defaultOpen_(context, io, url, flags, entries);
    av_dict_free(&own);
    return result;
}

void StreamInput::chooseVideo() {
    const char* prefix = kind_ == StreamKind::Rtsp ? "RTSP: " : "HLS: ";
    // FFmpeg opens a playlist without segments as a stream of no streams.
    if (kind_ == StreamKind::Hls && context_->nb_streams == 0)
        throw Error("HLS playlist has no segment");
    videoIndex_ = av_find_best_stream(context_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex_ < 0)
        throw Error(std::string(prefix) + "no video stream");
    for (unsigned i = 0; i < context_->nb_streams; ++i)
        if (static_cast<int>(i) != videoIndex_)
            context_->streams[i]->discard = AVDISCARD_ALL;
    const AVStream& video = *context_->streams[videoIndex_];
    const AVCodecID id = video.codecpar->codec_id;
    if (!isCameraCodec(id))
        throw Error(std::string(prefix) + "unsupported video codec " + avcodec_get_name(id));
    codec_.reset(avcodec_parameters_alloc());
    if (!codec_ || avcodec_parameters_copy(codec_.get(), video.codecpar) < 0)
        throw failure("Cannot open stream", AVERROR(ENOMEM));
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    intraOnly_ = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
}

bool StreamInput::readPart(AVPacket& packet) {
    for (;;) {
        av_packet_unref(&packet);
        tLoggedError.clear();
        const int result = av_read_frame(context_.get(), &packet);
        // A watchdog's interrupt surfaces as whatever the demuxer makes of it, the end included.
        if (result < 0 && watchdog_.reason() != Watchdog::Reason::None)
            throw failure("Cannot read stream", result);
        // RTSP answers a connection that broke inside a packet with a bare -1.
        if (result == AVERROR_EOF || (result == -1 && kind_ == StreamKind::Rtsp))
            return false;
        if (result < 0)
            throw failure("Cannot read stream", result);
        if (packet.stream_index == videoIndex_ && packet.size > 0) {
            watchdog_.feed();
            return true;
        }
    }
}

bool StreamInput::read(AVPacket& packet) {
    av_packet_unref(&packet);
    for (;;) {
        if (!readPart(*incoming_)) {
            // The stream's last picture is whole as far as it goes.
            av_packet_move_ref(&packet, pending_.get());
            return packet.size > 0;
        }
        if (pending_->size > 0 && continuesPicture(*pending_, *incoming_)) {
            append(*pending_, *incoming_);
            continue;
        }
        const bool hadPicture = pending_->size > 0;
        av_packet_move_ref(&packet, pending_.get());
        av_packet_move_ref(pending_.get(), incoming_.get());
        if (hadPicture)
            return true;
    }
}

bool StreamInput::startsPicture(const AVPacket& packet) const {
    return intraOnly_ || (packet.flags & AV_PKT_FLAG_KEY) != 0;
}

Error StreamInput::failure(const std::string& step, int result) const {
    switch (watchdog_.reason()) {
    case Watchdog::Reason::TimedOut:
        return Error(timedOutText(watchdog_.seconds()));
    case Watchdog::Reason::Canceled:
        return Error(kStreamCanceled, ErrorKind::SocketAbort);
    case Watchdog::Reason::Stopped:
        return Error("Stream closed");
    case Watchdog::Reason::None:
        break;
    }
    if (const char* answer = serverAnswer(result))
        return Error(std::string(kind_ == StreamKind::Rtsp ? "RTSP: " : "HLS: ") + answer);
    if (result == AVERROR(ETIMEDOUT))
        return Error(timedOutText(watchdog_.seconds()));
    if (isSocketFailure(result))
        return Error(socketErrorText(socketErrorNumber(AVUNERROR(result))), ErrorKind::Socket);
    const std::string logged = loggedError();
    if (logged.rfind("Failed to resolve hostname", 0) == 0)
        return Error(socketErrorText(kHostNotFound), ErrorKind::Socket);
    const bool vague = result == AVERROR(EIO) || result == AVERROR_INVALIDDATA;
    return Error(step + ": " + (vague && !logged.empty() ? logged : ffmpegReason(result)));
}

Error noPictureError(int seconds) {
    return Error("Timed out after " + std::to_string(seconds) + " s without a complete picture");
}

} // namespace kestrix
