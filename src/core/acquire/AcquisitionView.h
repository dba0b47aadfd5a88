// What the acquisition cycle needs from its surroundings: the window implements it with widgets,
// the command-line watcher with a console.
#pragma once

#include "core/image/Bitmap.h"

#include <string>

namespace kestrix {

enum class StatusField {
    Reading,
    Age,
    TimeOut,
    Error,
    Status,
    GMT,
    ImageTime,
    Interval,
    AveInterval
};

// The four capture check boxes.
struct CaptureOptions {
    bool capture = true;       // "Capture Animation"
    bool gifAnimations = true; // "Load GIF Animations"
    bool incremental = false;  // "Incremental GIF Load"
    bool clearOld = true;      // "Clear Old Animations"
};

// What one finished fetch came to, for views that log fetches.
struct FetchReport {
    bool ok = false;
    bool duplicate = false;
    std::string error;
    bool timedOut = false; // the transfer was given up after the time-out without a byte
    int64_t bytes = 0;
    int width = 0;
    int height = 0;
    int firstCaptured = -1; // frame-store indexes of the frames this fetch added
    int lastCaptured = -1;
};

class AcquisitionView {
public:
    virtual ~AcquisitionView() = default;

    // The address bar's text with its macros expanded (may raise a conversion error).
    virtual std::string expandedAddress() = 0;
    // Puts a bitmap on display (with brightness, contrast and gamma when they apply to every
    // frame; the bitmap may then be converted to 24 bits).
    virtual void showImage(Bitmap& bitmap) = 0;
    // The motion view of frame `index` (against the frame before it).
    virtual void showMotionFrame(int index) = 0;
    // Image size field, address history and size fields, after a picture was shown.
    virtual void showImageInfo() = 0;
    // Sets a field's text and repaints it at once.
    virtual void setText(StatusField field, const std::string& text) = 0;
    // Navy normally, red while a fetch runs.
    virtual void setStatusColor(bool fetching) = 0;

    virtual int frameIndex() const = 0;
    virtual void setFrameIndex(int index) = 0;
    virtual int maxFrames() const = 0;
    virtual void setMaxFrames(int count) = 0;

    virtual CaptureOptions captureOptions() const = 0;
    virtual bool autoLoadDown() const = 0;
    virtual bool loopDown() const = 0;
    virtual void releaseLoop() = 0;
    virtual double framesPerSecond() const = 0;
    virtual bool motionDetection() const = 0;

    // Waits, handling pending user-interface events throughout.
    virtual void wait(int milliseconds) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool confirm(const std::string& text) = 0;
    virtual void fetchFinished(const FetchReport&) {}
    // The share of a fetch's body received so far, 0..100; 0 before and after every fetch.
    virtual void showDownloadShare(int /*percent*/) {}
};

} // namespace kestrix
