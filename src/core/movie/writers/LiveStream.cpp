// The kept-open stream. Threads: the reading thread alone calls into the demuxer; latest() runs
// on its caller's thread and alone touches the decoder; they share only the packet group, under
// the mutex. Closing stops the reading thread through the watchdog and joins it.
#include "core/movie/writers/LiveStream.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/error.h>
}

namespace kestrix {

namespace {

constexpr std::chrono::milliseconds kCancelPoll{10};
// A group longer than this (a camera that sends key frames rarely, or never) keeps its start;
// the rest of it is dropped until the next key frame.
constexpr size_t kMaxGroupBytes = 32u << 20;

PacketPtr shareOf(const AVPacket& packet) {
    PacketPtr copy(av_packet_clone(&packet));
    if (!copy)
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    return copy;
}

} // namespace

LiveStream::LiveStream(const std::string& address, const StreamOptions& options)
    : timeout_(options.timeout), input_(std::make_unique<StreamInput>(address, options)) {
    // The caller's cancel belonged to the connecting; the reading thread answers only to the
    // time-out and to closing.
    input_->watchdog().forgetCancel();
    input_->watchdog().feed();
    reader_ = std::thread([this] { readAll(); });
}

LiveStream::~LiveStream() {
    input_->watchdog().stop();
    reader_.join();
}

std::chrono::milliseconds LiveStream::keyFrameDistance() const {
    return std::chrono::milliseconds(keyFrameDistanceMs_.load());
}

void LiveStream::readAll() {
    PacketPtr packet(av_packet_alloc());
    std::optional<Error> failure;
    try {
        if (!packet)
            throw Error("Out of memory", ErrorKind::OutOfMemory);
        while (input_->read(*packet))
            keep(*packet);
        failure = Error("Stream ended");
    } catch (const Error& error) {
        failure = error;
    } catch (const std::exception& error) {
        failure = Error(error.what());
    }
    const std::lock_guard lock(mutex_);
    lost_ = failure;
    arrived_.notify_all();
}

void LiveStream::keep(AVPacket& packet) {
    const bool key = input_->startsPicture(packet);
    PacketPtr kept(av_packet_alloc());
    if (!kept)
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    av_packet_move_ref(kept.get(), &packet);
    const Clock::time_point now = Clock::now();
    const std::lock_guard lock(mutex_);
    if (key) {
        if (groupNumber_ > 0)
            keyFrameDistanceMs_ =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - lastKeyFrame_).count();
        lastKeyFrame_ = now;
        group_.clear();
        groupBytes_ = 0;
        ++groupNumber_;
    } else if (group_.empty() || groupBytes_ + static_cast<size_t>(kept->size) > kMaxGroupBytes) {
        return;
    }
    groupBytes_ += static_cast<size_t>(kept->size);
    group_.push_back(std::move(kept));
    arrived_.notify_all();
}

LiveStream::Work LiveStream::nextWork(bool keyFramesOnly, const std::function<bool()>& cancelled,
                                      Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (lost_)
            throw *lost_;
        const bool newGroup = !group_.empty() && groupNumber_ != shownGroup_;
        const bool moreOfGroup = !group_.empty() && groupNumber_ == shownGroup_ &&
                                 group_.size() > shownEnd_ && groupNumber_ != brokenGroup_;
        if (newGroup || (!keyFramesOnly && moreOfGroup)) {
            Work work;
            work.group = groupNumber_;
            work.end = keyFramesOnly ? 1 : group_.size();
            const bool continues = !keyFramesOnly && decoder_ && decoderGroup_ == groupNumber_;
            work.restart = !continues;
            for (size_t i = continues ? decoderEnd_ : 0; i < work.end; ++i)
                work.packets.push_back(shareOf(*group_[i]));
            shownGroup_ = work.group;
            shownEnd_ = work.end;
            return work;
        }
        if (last_)
            return {};
        lock.unlock();
        if (cancelled && cancelled())
            throw Error(kStreamCanceled, ErrorKind::SocketAbort);
        if (Clock::now() >= deadline)
            throw noPictureError(input_->watchdog().seconds());
        lock.lock();
        arrived_.wait_for(lock, kCancelPoll);
    }
}

bool LiveStream::decode(const Work& work, bool keyFramesOnly,
                        const std::function<bool()>& cancelled) {
    // Until this pass ends well, the decoder's state is unknown: the next pass restarts.
    decoderGroup_ = 0;
    if (work.restart || !decoder_)
        decoder_ = std::make_unique<StreamDecoder>(input_->codec());
    bool picture = false;
    bool damaged = false;
    for (const PacketPtr& packet : work.packets) {
        if (cancelled && cancelled()) {
            decoder_.reset();
            throw Error(kStreamCanceled, ErrorKind::SocketAbort);
        }
        const StreamDecoder::Outcome outcome = decoder_->decode(*packet);
        picture = picture || outcome.picture;
        if ((damaged = outcome.damaged))
            break;
    }
    if (keyFramesOnly && !damaged) {
        const StreamDecoder::Outcome outcome = decoder_->drain();
        picture = picture || outcome.picture;
    }
    if (picture)
        last_ = decoder_->frame();
    if (damaged)
        brokenGroup_ = work.group;
    // Only the newest key frame was needed: the decoder's memory goes until the next one.
    if (keyFramesOnly || damaged) {
        decoder_.reset();
    } else {
        decoderGroup_ = work.group;
        decoderEnd_ = work.end;
    }
    return picture;
}

StreamPicture LiveStream::latest(bool keyFramesOnly, const std::function<bool()>& cancelled) {
    const Clock::time_point deadline = Clock::now() + timeout_;
    for (;;) {
        const Work work = nextWork(keyFramesOnly, cancelled, deadline);
        if (work.packets.empty())
            return {bitmapOf(*last_), true};
        if (decode(work, keyFramesOnly, cancelled))
            return {bitmapOf(*last_), false};
        if (last_)
            return {bitmapOf(*last_), true};
    }
}

} // namespace kestrix
