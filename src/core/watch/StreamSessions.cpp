#include "core/watch/StreamSessions.h"

#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/stream/CameraStream.h"
#include "core/util/Error.h"

namespace kestrix {

namespace {

using Steady = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollEvery{10};

StreamOptions streamOptions(const ConnectionOptions& options, std::chrono::milliseconds timeout) {
    StreamOptions o;
    o.rtspOverUdp = options.streams.rtspOverUdp;
    o.caFile = options.tls.certificateFile;
    o.pinned = !options.tls.pins.empty();
    o.timeout = timeout;
    return o;
}

} // namespace

KeptStream::KeptStream(const std::string& address, bool mjpeg, const ConnectionOptions& options,
                       std::chrono::milliseconds timeout)
    : timeout_(timeout), jpegQuality_(options.streams.jpegQuality) {
    if (mjpeg) {
        reader_ = std::thread([this, address, options] { readMjpeg(address, options); });
        return;
    }
    StreamOptions o = streamOptions(options, timeout);
    o.cancelled = [this] { return stop_ || (cancelled_ && cancelled_()); };
    session_ = openStreamSession(address, o);
}

KeptStream::~KeptStream() {
    stop_ = true;
    if (reader_.joinable())
        reader_.join();
}

void KeptStream::readMjpeg(const std::string& address, const ConnectionOptions& options) {
    std::string failure;
    try {
        HttpClient client;
        applyImageFetchSettings(client);
        applyConnectionOptions(client, options);
        client.setTimeOut(static_cast<int>(timeout_.count()));
        client.setPump([&] {
            if (stop_)
                client.cancel();
        });
        client.streamParts(address, [this](std::string_view part) {
            const std::lock_guard<std::mutex> lock(mutex_);
            newest_.assign(part);
            fresh_ = true;
            arrived_.notify_all();
        });
    } catch (const std::exception& e) {
        failure = e.what();
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    failure_ = failure.empty() ? "Stream ended" : failure;
    ended_ = true;
    arrived_.notify_all();
}

KeptPicture KeptStream::latest(std::chrono::seconds interval,
                               const std::function<bool()>& cancelled) {
    if (!session_)
        return latestPart(cancelled);
    const auto distance = session_->keyFrameDistance();
    const bool keyFramesOnly = distance.count() > 0 && interval >= distance;
    cancelled_ = cancelled;
    StreamPicture got;
    try {
        got = session_->latest(keyFramesOnly);
    } catch (...) {
        cancelled_ = nullptr;
        throw;
    }
    cancelled_ = nullptr;
    KeptPicture kept;
    kept.repeat = got.repeat;
    kept.bytes = encodeJpeg(got.picture, jpegQuality_);
    kept.picture = std::move(got.picture);
    return kept;
}

KeptPicture KeptStream::latestPart(const std::function<bool()>& cancelled) {
    const auto giveUp = Steady::now() + timeout_;
    std::unique_lock<std::mutex> lock(mutex_);
    // The first fetch waits for the first part; later ones take what there is.
    while (newest_.empty() && !ended_) {
        if (cancelled && cancelled())
            throw Error("Stream canceled", ErrorKind::SocketAbort);
        if (Steady::now() >= giveUp)
            throw Error("Timed out after " + std::to_string(timeout_.count() / 1000) +
                        " s without data");
        arrived_.wait_for(lock, kPollEvery);
    }
    if (ended_ && (!fresh_ || newest_.empty()))
        throw Error(failure_);
    KeptPicture kept;
    kept.repeat = !fresh_;
    kept.bytes = newest_;
    fresh_ = false;
    lock.unlock();
    decodeImage(kept.bytes, "stream.jpg", kept.picture, nullptr, true);
    return kept;
}

} // namespace kestrix
