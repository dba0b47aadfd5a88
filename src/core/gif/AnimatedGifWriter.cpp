#include "gif/AnimatedGifWriter.h"

#include "frames/BitmapList.h"
#include "gif/ColorQuantizer.h"
#include "gif/LzwEncoder.h"
#include "util/ByteReader.h"
#include "util/Error.h"
#include "util/FileIO.h"

#include <algorithm>
#include <cmath>

namespace kestrix {

void TProgressHandler::GIFProgressEvent(ProgressStage stage, int percent) {
    if (stage == ProgressStage::Starting)
        ++Count;
    const int value = static_cast<int>((Count - 1) * Step + Step * percent / 100.0);
    if (Callback)
        Callback(value);
}

int DelayMsForFps(double fps) { return static_cast<int>(std::trunc(1.0 / fps * 1000.0)); }

void AnimatedGif::AddGIFFrame(const Bitmap& bitmap, int delayMs) {
    images_.push_back({ReduceToPalette(bitmap), delayMs / 10});
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
    EncodeImageData(out, 8, 256, pixels.empty() ? nullptr : pixels.scanLine(0), pixels.width(),
                    pixels.height(), pixels.stride());
    out += '\0';
}

} // namespace

std::string AnimatedGif::encode(TProgressHandler* progress) const {
    std::string out = "GIF89a";
    putU16(out, static_cast<uint16_t>(width_));
    putU16(out, static_cast<uint16_t>(height_));
    out += static_cast<char>(0x70); // no global table, 8 bits of colour resolution
    out += '\0';
    out += '\0';
    if (progress)
        progress->GIFProgressEvent(ProgressStage::Starting, 0);
    for (size_t i = 0; i < images_.size(); ++i) {
        if (i == 0)
            putLoopingExtension(out);
        putGraphicControl(out, images_[i].delay);
        putImage(out, images_[i].pixels);
        if (progress)
            progress->GIFProgressEvent(ProgressStage::Running,
                                       static_cast<int>(100 * (i + 1) / images_.size()));
    }
    out += ';';
    if (progress)
        progress->GIFProgressEvent(ProgressStage::Ending, 100);
    return out;
}

void ExportAnimatedGIF(const std::string& fileName, const TBitmapList& frames, int delayMs,
                       const std::function<void(int)>& callback) {
    if (frames.Count() == 0)
        throw Error("No Movie To Save");
    TProgressHandler progress(frames.Count(), callback);
    AnimatedGif gif;
    for (int32_t i = 0; i < frames.Count(); ++i) {
        progress.GIFProgressEvent(ProgressStage::Starting, 0);
        gif.AddGIFFrame(*frames.Get(i), delayMs);
        progress.GIFProgressEvent(ProgressStage::Ending, 100);
    }
    writeFileAtomically(fileName, gif.encode(&progress));
}

} // namespace kestrix
