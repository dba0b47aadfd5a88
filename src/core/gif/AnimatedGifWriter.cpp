#include "core/gif/AnimatedGifWriter.h"

#include "core/frames/BitmapList.h"
#include "core/gif/ColorQuantizer.h"
#include "core/gif/LzwEncoder.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Parallel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrix {

void ProgressHandler::gifProgressEvent(ProgressStage stage, int percent) {
    if (stage == ProgressStage::Starting)
        ++count;
    const int value = static_cast<int>((count - 1) * step + step * percent / 100.0);
    if (callback)
        callback(value);
}

int delayMsForFps(double fps) {
    return static_cast<int>(std::trunc(1.0 / fps * 1000.0));
}

void AnimatedGif::addGifFrame(const Bitmap& bitmap, int delayMs) {
    addReducedFrame(reduceToPalette(bitmap), delayMs);
}

void AnimatedGif::addReducedFrame(Bitmap pixels, int delayMs) {
    width_ = std::max(width_, pixels.width());
    height_ = std::max(height_, pixels.height());
    images_.push_back({std::move(pixels), delayMs / 10});
}

namespace {

void putLoopingExtension(std::string& out) {
    out += "\x21\xFF\x0B";
    out += "NETSCAPE2.0";
    out += "\x03\x01";
    putU16(out, 0); // repeat forever
    out += '\0';
}

void putGraphicControl(std::string& out, int delay) {
    out += "\x21\xF9\x04";
    out += '\0'; // no disposal, no user input, no transparency
    putU16(out, static_cast<uint16_t>(std::clamp(delay, 0, 65535)));
    out += '\0';
    out += '\0';
}

void putImage(std::string& out, const Bitmap& pixels) {
    out += ',';
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, static_cast<uint16_t>(pixels.width()));
    putU16(out, static_cast<uint16_t>(pixels.height()));
    out += static_cast<char>(0x80 | 7); // a local table of 256 entries, not interlaced
    for (const Color& c : pixels.palette()) {
        out += static_cast<char>(c.r);
        out += static_cast<char>(c.g);
        out += static_cast<char>(c.b);
    }
    encodeImageData(out, 8, 256, pixels.empty() ? nullptr : pixels.scanLine(0), pixels.width(),
                    pixels.height(), pixels.stride());
    out += '\0';
}

} // namespace

std::string AnimatedGif::encode(ProgressHandler* progress) const {
    std::string out = "GIF89a";
    putU16(out, static_cast<uint16_t>(width_));
    putU16(out, static_cast<uint16_t>(height_));
    out += static_cast<char>(0x70); // no global table, 8 bits of colour resolution
    out += '\0';
    out += '\0';
    if (progress)
        progress->gifProgressEvent(ProgressStage::Starting, 0);
    std::vector<std::string> encoded(images_.size());
    forEachInOrder(
        0, static_cast<int>(images_.size()),
        [&](int i) {
            putImage(encoded[static_cast<size_t>(i)], images_[static_cast<size_t>(i)].pixels);
        },
        [&](int i) {
            const auto k = static_cast<size_t>(i);
            if (k == 0)
                putLoopingExtension(out);
            putGraphicControl(out, images_[k].delay);
            out += encoded[k];
            std::string().swap(encoded[k]);
            if (progress)
                progress->gifProgressEvent(ProgressStage::Running,
                                           static_cast<int>(100 * (k + 1) / images_.size()));
        });
    out += ';';
    if (progress)
        progress->gifProgressEvent(ProgressStage::Ending, 100);
    return out;
}

void exportAnimatedGif(const std::string& fileName, const BitmapList& frames, int delayMs,
                       const std::function<void(int)>& callback) {
    if (frames.count() == 0)
        throw Error("No Movie To Save");
    ProgressHandler progress(frames.count(), callback);
    AnimatedGif gif;
    std::vector<Bitmap> reduced(static_cast<size_t>(frames.count()));
    forEachInOrder(
        0, frames.count(),
        [&](int i) { reduced[static_cast<size_t>(i)] = reduceToPalette(*frames.get(i)); },
        [&](int i) {
            progress.gifProgressEvent(ProgressStage::Starting, 0);
            gif.addReducedFrame(std::move(reduced[static_cast<size_t>(i)]), delayMs);
            progress.gifProgressEvent(ProgressStage::Ending, 100);
        });
    writeFileAtomically(fileName, gif.encode(&progress));
}

} // namespace kestrix
