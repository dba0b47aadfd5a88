// Animated GIF export: every frame reduced to its own 256-colour table and LZW-coded, GIF89a,
// looping forever, all frames at (0, 0) on a screen as large as the largest frame.
#pragma once

#include "core/image/Bitmap.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrix {

class BitmapList;

enum class ProgressStage { Starting, Running, Ending };

// Relays the per-stage progress of an export (one stage per frame and one for writing) as one
// percentage rising from 0 to 100.
class ProgressHandler {
public:
    ProgressHandler(int frameCount, std::function<void(int)> callback)
        : step(100.0 / (frameCount + 1)), callback(std::move(callback)) {}
    void gifProgressEvent(ProgressStage stage, int percent);

    int count = 0;
    double step;
    std::function<void(int)> callback;
};

// The frame period in whole milliseconds: Trunc(1 / fps x 1000).
int delayMsForFps(double fps);

// The animated GIF being built: one image per frame, in order.
class AnimatedGif {
public:
    // Reduces the bitmap to 256 colours and appends it with a delay of `delayMs` div 10
    // hundredths; the first image also gets the looping extension.
    void addGifFrame(const Bitmap& bitmap, int delayMs);
    // Appends a bitmap that reduceToPalette made.
    void addReducedFrame(Bitmap pixels, int delayMs);
    // The whole file. Images are compressed on every worker thread and joined in order.
    std::string encode(ProgressHandler* progress) const;
    int width() const { return width_; }
    int height() const { return height_; }
    size_t imageCount() const { return images_.size(); }

private:
    struct Image {
        Bitmap pixels; // 8-bit, 256-entry table
        int delay;     // hundredths of a second
    };
    std::vector<Image> images_;
    int width_ = 0;
    int height_ = 0;
};

// Builds the GIF from every frame of the list (colours reduced on every worker thread, the
// progress in frame order) and writes it (crash-safe) to `fileName`. A list without frames raises
// "No Movie To Save" and creates no file.
void exportAnimatedGif(const std::string& fileName, const BitmapList& frames, int delayMs,
                       const std::function<void(int)>& callback);

} // namespace kestrix
