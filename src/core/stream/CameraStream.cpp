// Which addresses are camera streams, the trust rules FFmpeg cannot keep itself, and the calls
// into the movie module, each run off the calling thread (see PolledCall.h).
#include "core/stream/CameraStream.h"

#include "core/movie/MovieModule.h"
#include "core/stream/PolledCall.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

namespace kestrix {

namespace {

bool hasScheme(std::string_view address, std::string_view scheme) {
    return address.size() > scheme.size() &&
           equalsIgnoreCase(address.substr(0, scheme.size()), scheme);
}

bool endsWithIgnoreCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() &&
           equalsIgnoreCase(text.substr(text.size() - tail.size()), tail);
}

// Looked up at every use: the loader answers a module it has open at once, and the module
// variable is honoured each time.
const StreamProvider& streamProvider() {
    const auto entry = reinterpret_cast<StreamModuleEntry>(loadModuleEntry(kStreamModule));
    const StreamProvider* provider = entry(kStreamModuleInterface);
    if (provider == nullptr)
        throwModuleUnusable(kStreamModule, "it belongs to another build of Kestrix");
    return *provider;
}

// Raises for addresses that are no stream, and for secure streams whose certificate FFmpeg
// could not check as the user asks.
void checkStreamAddress(const std::string& address, const StreamOptions& options) {
    const StreamKind kind = streamKindOf(address);
    if (kind == StreamKind::None)
        throw Error("Not an RTSP or HLS address");
    // FFmpeg opens the TLS connection of rtsps:// without the options that turn verification
    // on, so any certificate would pass.
    if (hasScheme(address, "rtsps://"))
        throw Error("RTSPS certificates cannot be checked: use rtsp:// on a trusted network");
    if (options.pinned && hasScheme(address, "https://"))
        throw Error("Pinned certificates cannot be checked for HLS streams: use a CA file");
}

// The options the module sees: the cancel becomes the polled call's stop flag.
StreamOptions moduleOptions(const StreamOptions& options, const std::function<bool()>& stop) {
    StreamOptions inner = options;
    inner.cancelled = stop;
    return inner;
}

class PolledSession final : public StreamSession {
public:
    PolledSession(std::unique_ptr<StreamConnection> connection, std::function<bool()> cancelled)
        : connection_(std::move(connection)), cancelled_(std::move(cancelled)) {}

    StreamPicture latest(bool keyFramesOnly) override {
        StreamConnection& connection = *connection_;
        return callPolled<StreamPicture>(
            [&connection, keyFramesOnly](const std::function<bool()>& stop) {
                return connection.latest(keyFramesOnly, stop);
            },
            cancelled_, OnCancel::Wait);
    }

    std::chrono::milliseconds keyFrameDistance() const override {
        return connection_->keyFrameDistance();
    }

private:
    std::unique_ptr<StreamConnection> connection_;
    std::function<bool()> cancelled_;
};

} // namespace

StreamKind streamKindOf(std::string_view address) {
    if (hasScheme(address, "rtsp://") || hasScheme(address, "rtsps://"))
        return StreamKind::Rtsp;
    if (!hasScheme(address, "http://") && !hasScheme(address, "https://"))
        return StreamKind::None;
    const std::string_view rest = address.substr(address.find("//") + 2);
    const size_t authorityEnd = rest.find_first_of("/?#");
    if (authorityEnd == std::string_view::npos || rest[authorityEnd] != '/')
        return StreamKind::None;
    const std::string_view path =
        rest.substr(authorityEnd, rest.find_first_of("?#") - authorityEnd);
    return endsWithIgnoreCase(path, ".m3u8") ? StreamKind::Hls : StreamKind::None;
}

Bitmap grabStreamPicture(const std::string& address, const StreamOptions& options) {
    checkStreamAddress(address, options);
    const StreamProvider& provider = streamProvider();
    // The work may outlive the call (see OnCancel::Abandon): it keeps no copy of the caller's
    // cancel, which may reach into objects the caller is free to destroy.
    const StreamOptions shared = moduleOptions(options, {});
    return callPolled<Bitmap>(
        [&provider, address, shared](const std::function<bool()>& stop) {
            return provider.grab(address, moduleOptions(shared, stop));
        },
        options.cancelled, OnCancel::Abandon);
}

std::unique_ptr<StreamSession> openStreamSession(const std::string& address,
                                                 const StreamOptions& options) {
    checkStreamAddress(address, options);
    const StreamProvider& provider = streamProvider();
    const StreamOptions shared = moduleOptions(options, {});
    auto connection = callPolled<std::unique_ptr<StreamConnection>>(
        [&provider, address, shared](const std::function<bool()>& stop) {
            return provider.connect(address, moduleOptions(shared, stop));
        },
        options.cancelled, OnCancel::Abandon);
    return std::make_unique<PolledSession>(std::move(connection), options.cancelled);
}

} // namespace kestrix
