// The frames half of the acquisition cycle: showing a stored frame with its time data,
// deleting and erasing frames, and playback passes.
#include "acquire/Acquisition.h"

#include "acquire/StatusTexts.h"
#include "macros/DateFormatter.h"

#include <cmath>

namespace kestrix {

std::vector<TDateTime> Acquisition::frameTimes() const {
    std::vector<TDateTime> times;
    times.reserve(static_cast<size_t>(store_.Count()));
    for (int32_t i = 0; i < store_.Count(); ++i)
        times.push_back(store_.Times().Get(i));
    return times;
}

void Acquisition::ShowFrame(int index) {
    if (store_.Count() == 0 || index < 0 || index >= store_.Count())
        return;
    if (view_.motionDetection())
        view_.showMotionFrame(index);
    else
        view_.showImage(*store_.Get(index));
    ShowTimeData(index);
    view_.showImageInfo();
}

void Acquisition::ShowTimeData(int index) {
    const std::vector<TDateTime> times = frameTimes();
    if (index < 0 || static_cast<size_t>(index) >= times.size())
        return;
    const auto i = static_cast<size_t>(index);
    view_.setText(StatusField::ImageTime, formatDateTime(fs_.longTimeFormat, times[i], fs_));
    view_.setText(StatusField::Interval, FormatSpan(std::fabs(frameInterval(times, i))));
    view_.setText(StatusField::AveInterval, FormatSpan(AverageInterval(times)));
}

void Acquisition::EraseAnimation() {
    if (!view_.confirm("About to erase all animation frames. Are you sure?"))
        return;
    store_.Clear();
    view_.setMaxFrames(0);
    LastImage = Bitmap();
    LastURL.clear();
    URLChanged = true;
    LastWasAnimation = false;
}

void Acquisition::DeleteFrame(int index) {
    if (store_.Count() == 0 || index < 0 || index >= store_.Count())
        return;
    store_.Delete(index);
    view_.setMaxFrames(view_.maxFrames() - 1);
    ShowFrame(view_.frameIndex());
}

void Acquisition::DeleteCurrentFrame() { DeleteFrame(view_.frameIndex()); }

void Acquisition::PlayAnimation() {
    // A second pass does not start inside a running one.
    if (Playing)
        return;
    Playing = true;
    PlayAbort = false;
    try {
        const int delay = playbackDelayMs(view_.framesPerSecond());
        const int count = store_.Count();
        for (int i = 0; i < count; ++i) {
            // Frames deleted during the pass leave indexes beyond the store: skip them.
            if (i >= store_.Count())
                continue;
            if (view_.motionDetection())
                view_.showMotionFrame(i);
            else
                ShowFrame(i);
            view_.setFrameIndex(i);
            view_.wait(delay);
            if (PlayAbort)
                break;
        }
    } catch (...) {
        Playing = false;
        throw;
    }
    Playing = false;
}

void Acquisition::AbortAnimation() {
    PlayAbort = true;
    view_.releaseLoop();
}

} // namespace kestrix
