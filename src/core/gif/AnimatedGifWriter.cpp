#include "core/gif/AnimatedGifWriter.h"

#include "core/frames/BitmapList.h"
#include "core/gif/ColorQuantizer.h"
#include "core/gif/LzwEncoder.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <algorithm>
#include <cmath>

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
    images_.push_back({reduceToPalette(bitmap), delayMs / 10});
    width_ = std::max(width_, bitmap.width());
    height_ = std::max(height_, bitmap.height());
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
    for (size_t i = 0; i < images_.size(); ++i) {
        if (i == 0)
            putLoopingExtension(out);
        putGraphicControl(out, images_[i].delay);
        putImage(out, images_[i].pixels);
        if (progress)
            progress->gifProgressEvent(ProgressStage::Running,
                                       static_cast<int>(100 * (i + 1) / images_.size()));
    }
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
    for (int32_t i = 0; i < frames.count(); ++i) {
        progress.gifProgressEvent(ProgressStage::Starting, 0);
        gif.addGifFrame(*frames.get(i), delayMs);
        progress.gifProgressEvent(ProgressStage::Ending, 100);
    }
    writeFileAtomically(fileName, gif.encode(&progress));
}

} // namespace kestrix
