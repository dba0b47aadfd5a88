// A camera stream kept open: one thread reads it all the time and keeps the packets from the
// newest key frame on, undecoded; latest() decodes only the packets its answer needs.
#pragma once

#include "core/movie/writers/FfmpegHolders.h"
#include "core/movie/writers/StreamDecoder.h"
#include "core/movie/writers/StreamInput.h"
#include "core/stream/StreamProvider.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kestrix {

class LiveStream final : public StreamConnection {
public:
    // Connects on the calling thread (its cancel applies), then starts the reading thread.
    LiveStream(const std::string& address, const StreamOptions& options);
    ~LiveStream() override;

    StreamPicture latest(bool keyFramesOnly, const std::function<bool()>& cancelled) override;
    std::chrono::milliseconds keyFrameDistance() const override;

private:
    using Clock = std::chrono::steady_clock;

    // Packets to decode for one answer: from the start of a group (a key frame) or on from where
    // the decoder stopped.
    struct Work {
        std::vector<PacketPtr> packets;
        bool restart = false;
        uint64_t group = 0;
        size_t end = 0;
    };

    void readAll();
    void keep(AVPacket& packet);
    Work nextWork(bool keyFramesOnly, const std::function<bool()>& cancelled,
                  Clock::time_point deadline);
    bool decode(const Work& work, bool keyFramesOnly, const std::function<bool()>& cancelled);

    std::chrono::milliseconds timeout_;
    std::unique_ptr<StreamInput> input_;

    // Shared with the reading thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<PacketPtr> group_;
    size_t groupBytes_ = 0;
    uint64_t groupNumber_ = 0;
    std::optional<Error> lost_;
    Clock::time_point lastKeyFrame_;
    std::atomic<int64_t> keyFrameDistanceMs_{0};

    // latest()'s own: what the decoder has taken, what the previous answer covered.
    std::unique_ptr<StreamDecoder> decoder_;
    uint64_t decoderGroup_ = 0;
    size_t decoderEnd_ = 0;
    uint64_t brokenGroup_ = 0;
    uint64_t shownGroup_ = 0;
    size_t shownEnd_ = 0;
    // The previous answer as decoded; converted again for each answer.
    FramePtr last_;

    std::thread reader_;
};

} // namespace kestrix
