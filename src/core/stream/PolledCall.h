// Blocking stream work run off the calling thread, so that the caller's cancel check, which in
// the window also handles its events, is called often and always on the caller's own thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace kestrix {

enum class OnCancel {
    // The call returns only once the work has stopped: for work on objects the caller owns.
    Wait,
    // After a second, work still running is left to end alone: FFmpeg cannot interrupt a host
    // name lookup. Such work must own everything it touches.
    Abandon,
};

// Runs `work` on a helper thread while the calling thread calls `cancelled` about every 10 ms
// until the call returns; a cancel that is asked for already starts nothing. Once `cancelled` has
// answered true, the `stop` given to the work answers true as well, and the call raises "Stream
// canceled" (kind SocketAbort) whatever the work did. Otherwise the work's own exception is raised
// on the calling thread.
void runPolled(std::function<void(const std::function<bool()>& stop)> work,
               const std::function<bool()>& cancelled, OnCancel onCancel);

template <typename Result>
Result callPolled(std::function<Result(const std::function<bool()>& stop)> work,
                  const std::function<bool()>& cancelled, OnCancel onCancel) {
    // Shared with the work, which may outlive this call when it is abandoned.
    auto result = std::make_shared<std::optional<Result>>();
    runPolled([work = std::move(work),
               result](const std::function<bool()>& stop) { result->emplace(work(stop)); },
              cancelled, onCancel);
    return std::move(**result);
}

} // namespace kestrix
