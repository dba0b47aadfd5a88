// The helper thread of a polled call and the caller's waiting loop.
#include "core/stream/PolledCall.h"

#include "core/stream/StreamProvider.h"
#include "core/util/Error.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace kestrix {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollInterval{10};
constexpr std::chrono::seconds kAbandonAfter{1};

struct CallState {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr error;
    std::atomic<bool> stop{false};
};

// Waits for the work, calling `cancelled` between waits; false when the work was abandoned.
bool waitForWork(CallState& state, const std::function<bool()>& cancelled, OnCancel onCancel) {
    SteadyClock::time_point giveUpAt{};
    for (;;) {
        {
            std::unique_lock lock(state.mutex);
            if (state.finished.wait_for(lock, kPollInterval, [&] { return state.done; }))
                return true;
        }
        // Called on after a cancel too: the window keeps handling its events while FFmpeg stops.
        if (cancelled && cancelled() && !state.stop) {
            state.stop = true;
            giveUpAt = SteadyClock::now() + kAbandonAfter;
        }
        if (state.stop && onCancel == OnCancel::Abandon && SteadyClock::now() >= giveUpAt)
            return false;
    }
}

} // namespace

void runPolled(std::function<void(const std::function<bool()>& stop)> work,
               const std::function<bool()>& cancelled, OnCancel onCancel) {
    // A cancel already asked for starts nothing.
    if (cancelled && cancelled())
        throw Error(kStreamCanceled, ErrorKind::SocketAbort);
    auto state = std::make_shared<CallState>();
    std::thread worker([state, work = std::move(work)] {
        const std::function<bool()> stop = [state] { return state->stop.load(); };
        try {
            work(stop);
        } catch (...) {
            state->error = std::current_exception();
        }
        const std::lock_guard lock(state->mutex);
        state->done = true;
        state->finished.notify_all();
    });
    bool finished = false;
    try {
        finished = waitForWork(*state, cancelled, onCancel);
    } catch (...) {
        // The caller's own check failed: the work stops as for a cancel.
        state->stop = true;
        worker.join();
        throw;
    }
    if (!finished) {
        worker.detach();
        throw Error(kStreamCanceled, ErrorKind::SocketAbort);
    }
    worker.join();
    if (state->stop)
        throw Error(kStreamCanceled, ErrorKind::SocketAbort);
    if (state->error)
        std::rethrow_exception(state->error);
}

} // namespace kestrix
