// Camera streams as picture sources: RTSP (H.264, H.265, MJPEG) and HLS playlists, decoded by
// FFmpeg in the movie module. One grab connects, decodes the first complete picture and closes;
// a session stays connected for addresses fetched often.
//
// Waiting: grabStreamPicture, openStreamSession and StreamSession::latest run FFmpeg's blocking
// work off the calling thread and call `cancelled` on the calling thread about every 10 ms until
// they return, so the window may handle its events from `cancelled`. FFmpeg's own threads never
// call it.
#pragma once

#include "core/image/Bitmap.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kestrix {

enum class StreamKind { None, Rtsp, Hls };

// rtsp:// and rtsps:// (any case) are RTSP; http:// and https:// addresses whose path (before
// any ? or #) ends in ".m3u8" (any case) are HLS; anything else is none.
StreamKind streamKindOf(std::string_view address);

struct StreamOptions {
    // RTP over UDP instead of interleaved in the RTSP connection.
    bool rtspOverUdp = false;
    // https trust: a PEM file of the authorities to trust instead of the system's store.
    std::string caFile;
    // The user pins server certificates. FFmpeg cannot check pins, so such a secure stream is
    // refused rather than trusted on the system's word.
    bool pinned = false;
    // Given up when the stream sends no video for this long (and when a picture takes this long
    // to come out of a stream that does send).
    std::chrono::milliseconds timeout{60000};
    // Answers true to end the wait at once with "Stream canceled".
    std::function<bool()> cancelled;
};

// Connects, decodes the first complete picture from a key frame on and closes. Raises Error:
// "RTSP: 401 Unauthorized" or "HLS: 404 Not Found" (the server's answers), "RTSP: no video
// stream", "RTSP: unsupported video codec NAME", "Stream ended before a complete picture",
// "HLS playlist has no segment", "Timed out after N s without data" (or "... without a complete
// picture"), "Stream canceled" (kind SocketAbort), socket errors as the socket layer words them
// ("10061:Connection refused", "11001:Host not found", kind Socket), otherwise the step and
// FFmpeg's reason ("Cannot open stream: Peer certificate failed verification"). Refused before
// connecting: "Not an RTSP or HLS address", any rtsps:// address (FFmpeg 5.1 cannot be made to
// check its certificate) and, when `pinned`, https:// playlists.
Bitmap grabStreamPicture(const std::string& address, const StreamOptions& options);

struct StreamPicture {
    Bitmap picture;
    // No new picture came since the previous call: this is the previous one again.
    bool repeat = false;
};

// A stream kept open. A thread of its own reads the stream all the time and keeps the packets
// from the newest key frame on, without decoding them; latest() decodes only what it answers
// with. One caller at a time.
class StreamSession {
public:
    virtual ~StreamSession() = default;

    // The newest complete picture received since the previous call, or the previous one again
    // (repeat) when none came. With `keyFramesOnly` only the newest key frame is decoded (for
    // calls at least a key-frame distance apart); otherwise the frames since the previous call
    // are, so that the picture is the newest one. The first call waits for the first picture.
    // A cancel raises "Stream canceled" (kind SocketAbort) and leaves the session usable; any
    // other error means the stream was lost (dropped, timed out): the session is finished and a
    // new one must be opened.
    virtual StreamPicture latest(bool keyFramesOnly) = 0;

    // The time between the last two key frames as they arrived; zero until two have.
    virtual std::chrono::milliseconds keyFrameDistance() const = 0;
};

// Connects (errors as grabStreamPicture's) and starts reading. `options.cancelled` and
// `options.timeout` apply to the connection and to every latest().
std::unique_ptr<StreamSession> openStreamSession(const std::string& address,
                                                 const StreamOptions& options);

} // namespace kestrix
