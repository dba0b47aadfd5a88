// Streams kept open for links fetched often (watch --links --keep-streams, intervals under 10 s):
// each fetch takes the newest complete picture the stream has sent since the one before,
// instead of connecting anew. MJPEG streams are read part after part by the program's own client
// on a thread of their own; RTSP and HLS streams are FFmpeg's sessions (core/stream).
#pragma once

#include "core/image/Bitmap.h"
#include "core/net/HttpClient.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kestrix {

class StreamSession;

// The newest picture of a stream kept open: its bytes (an MJPEG part as sent, or a JPEG made
// from an RTSP or HLS picture) and the picture itself.
struct KeptPicture {
    std::string bytes;
    Bitmap picture;
    bool repeat = false; // nothing new came since the previous fetch
};

class KeptStream {
public:
    // Opens the stream (an MJPEG address when `mjpeg`, else RTSP or HLS) with the options and
    // the client's settings as a fetch would. Raises as a fetch does.
    KeptStream(const std::string& address, bool mjpeg, const ConnectionOptions& options,
               std::chrono::milliseconds timeout);
    ~KeptStream();
    KeptStream(const KeptStream&) = delete;
    KeptStream& operator=(const KeptStream&) = delete;

    // The newest picture. `keyFramesOnly` lets an RTSP or HLS stream decode key frames only
    // (when the fetches are at least a key-frame distance apart). Waits up to the time-out for a
    // first picture; `cancelled` ends the wait. A lost stream raises: open a new one.
    KeptPicture latest(std::chrono::seconds interval, const std::function<bool()>& cancelled);

private:
    void readMjpeg(const std::string& address, const ConnectionOptions& options);
    KeptPicture latestPart(const std::function<bool()>& cancelled);

    std::chrono::milliseconds timeout_;
    int jpegQuality_ = 90;
    // The cancel of the fetch in progress; the session asks it on the fetching thread.
    std::function<bool()> cancelled_;
    // RTSP and HLS.
    std::unique_ptr<StreamSession> session_;
    // MJPEG: the reading thread and what it hands over.
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string newest_;
    bool fresh_ = false;
    std::string failure_;
    bool ended_ = false;
    std::atomic<bool> stop_{false};
};

} // namespace kestrix
