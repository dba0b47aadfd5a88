// The frames half of the acquisition cycle: showing a stored frame with its time data,
// deleting and erasing frames, and playback passes.
#include "core/acquire/Acquisition.h"
#include "core/acquire/StatusTexts.h"
#include "core/macros/DateFormatter.h"

#include <cmath>

namespace kestrix {

std::vector<DateTime> Acquisition::frameTimes() const {
    std::vector<DateTime> times;
    times.reserve(static_cast<size_t>(store_.count()));
    for (int32_t i = 0; i < store_.count(); ++i)
        times.push_back(store_.time(i));
    return times;
}

void Acquisition::showFrame(int index) {
    if (store_.count() == 0 || index < 0 || index >= store_.count())
        return;
    if (view_.motionDetection())
        view_.showMotionFrame(index);
    else
        view_.showImage(*store_.get(index));
    showTimeData(index);
    view_.showImageInfo();
}

void Acquisition::showTimeData(int index) {
    const std::vector<DateTime> times = frameTimes();
    if (index < 0 || static_cast<size_t>(index) >= times.size())
        return;
    const auto i = static_cast<size_t>(index);
    view_.setText(StatusField::ImageTime, formatDateTime(fs_.longTimeFormat, times[i], fs_));
    view_.setText(StatusField::Interval, spanText(frameInterval(times, i)));
    view_.setText(StatusField::AveInterval, spanText(averageInterval(times)));
}

void Acquisition::eraseAnimation() {
    if (!view_.confirm("About to erase all animation frames. Are you sure?"))
        return;
    store_.clear();
    view_.setMaxFrames(0);
    lastImage = Bitmap();
    lastUrl.clear();
    urlChanged = true;
    lastWasAnimation = false;
}

void Acquisition::deleteFrame(int index) {
    if (store_.count() == 0 || index < 0 || index >= store_.count())
        return;
    store_.remove(index);
    view_.setMaxFrames(view_.maxFrames() - 1);
    showFrame(view_.frameIndex());
}

void Acquisition::deleteCurrentFrame() {
    deleteFrame(view_.frameIndex());
}

void Acquisition::playAnimation() {
    // A second pass does not start inside a running one.
    if (playing)
        return;
    playing = true;
    playAbort = false;
    try {
        const int delay = playbackDelayMs(view_.framesPerSecond());
        const int count = store_.count();
        for (int i = 0; i < count; ++i) {
            // Frames deleted during the pass leave indexes beyond the store: skip them.
            if (i >= store_.count())
                continue;
            if (view_.motionDetection())
                view_.showMotionFrame(i);
            else
                showFrame(i);
            view_.setFrameIndex(i);
            view_.wait(delay);
            if (playAbort)
                break;
        }
    } catch (...) {
        playing = false;
        throw;
    }
    playing = false;
}

void Acquisition::abortAnimation() {
    playAbort = true;
    view_.releaseLoop();
}

} // namespace kestrix
