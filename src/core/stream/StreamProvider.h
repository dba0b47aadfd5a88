// What the movie module answers for camera streams (see core/movie/MovieModule.h), and the
// texts both sides of the module raise.
#pragma once

#include "core/stream/CameraStream.h"

#include <functional>
#include <memory>
#include <string>

namespace kestrix {

inline constexpr const char* kStreamCanceled = "Stream canceled";

// A stream kept open inside the module. latest() is StreamSession::latest with the cancel
// passed in; it may be called from any one thread at a time.
class StreamConnection {
public:
    virtual ~StreamConnection() = default;
    virtual StreamPicture latest(bool keyFramesOnly, const std::function<bool()>& cancelled) = 0;
    virtual std::chrono::milliseconds keyFrameDistance() const = 0;
};

// Calls block; `options.cancelled` is called from FFmpeg's interrupt callback, on the thread
// that called, and must be cheap and safe there.
class StreamProvider {
public:
    virtual Bitmap grab(const std::string& address, const StreamOptions& options) const = 0;
    virtual std::unique_ptr<StreamConnection> connect(const std::string& address,
                                                      const StreamOptions& options) const = 0;

protected:
    ~StreamProvider() = default;
};

} // namespace kestrix
