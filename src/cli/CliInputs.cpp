#include "cli/CliInputs.h"

#include "core/decode/ImageDecoder.h"
#include "core/frames/FramesFile.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>

namespace kestrix::cli {

namespace {

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

} // namespace

Bitmap readInputImage(const std::string& path) {
    Bitmap image;
    decodeImage(readFileBytes(path), fileName(path), image, nullptr);
    return image;
}

void visitInputFrames(const std::string& path, const FrameVisitor& each) {
    BitmapList found;
    if (equalsIgnoreCase(std::filesystem::path(path).extension().string(), ".ifrm")) {
        loadFromFile(found, path, nullptr);
    } else {
        Bitmap image;
        decodeImage(readFileBytes(path), fileName(path), image, &found);
        if (found.count() == 0) {
            each(image);
            return;
        }
    }
    for (int32_t i = 0; i < found.count(); ++i)
        each(*found.get(i));
}

int64_t countInputFrames(const std::vector<std::string>& paths) {
    int64_t total = 0;
    for (const std::string& path : paths) {
        const std::string extension = std::filesystem::path(path).extension().string();
        if (equalsIgnoreCase(extension, ".gif"))
            return 0;
        if (equalsIgnoreCase(extension, ".ifrm")) {
            // A file that cannot be read is reported by the work itself.
            FramesFileReader reader;
            try {
                reader.open(path);
            } catch (const Error&) {
                return 0;
            }
            total += reader.count;
        } else {
            ++total;
        }
    }
    return total;
}

void addInputFrames(BitmapList& frames, const std::string& path) {
    visitInputFrames(path, [&frames](const Bitmap& frame) { frames.add(frame); });
}

void addInputFrames(BitmapList& frames, const std::vector<std::string>& paths) {
    readInputsInOrder<std::vector<Bitmap>>(
        paths,
        [](const std::string& path) {
            std::vector<Bitmap> found;
            visitInputFrames(path, [&found](const Bitmap& frame) { found.push_back(frame); });
            return found;
        },
        [&frames](std::vector<Bitmap>& found) {
            for (const Bitmap& frame : found)
                frames.add(frame);
        });
}

} // namespace kestrix::cli
