// kestrix-cli avi: images and frames files, in the order given, exported as one AVI movie.
#include "CliCommand.h"
#include "decode/ImageDecoder.h"
#include "frames/BitmapList.h"
#include "frames/FramesFile.h"
#include "movie/AviExport.h"
#include "util/Error.h"
#include "util/FileIO.h"
#include "util/FormatSettings.h"
#include "util/Text.h"

#include <cmath>
#include <filesystem>

namespace kestrix::cli {

namespace {

// Appends the input's frames: every frame of a frames file, every composited frame of a GIF,
// otherwise the decoded image.
void addInput(TBitmapList& movie, const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    TBitmapList frames;
    if (equalsIgnoreCase(std::filesystem::path(path).extension().string(), ".ifrm")) {
        LoadFromFile(frames, path, nullptr);
    } else {
        Bitmap image;
        DecodeImage(readFileBytes(path), name, image, &frames);
        if (frames.Count() == 0)
            frames.Add(image);
    }
    for (int32_t i = 0; i < frames.Count(); ++i)
        movie.Add(*frames.Get(i));
}

int runAvi(const Args& args) {
    const Command& self = findCommand("avi");
    std::vector<std::string> files;
    double fps = 10;
    int quality = 10000;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--fps" && i + 1 < args.size()) {
            fps = strToFloat(args[++i], defaultFormatSettings());
            if (!(fps > 0) || !std::isfinite(fps))
                throw Error("--fps takes a number of frames per second above 0");
        } else if (args[i] == "--quality" && i + 1 < args.size()) {
            quality = strToInt(args[++i]);
            if (quality < 0 || quality > 10000)
                throw Error("--quality takes a value from 0 to 10000");
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() < 2)
        usageError(self);
    TBitmapList movie;
    for (size_t i = 1; i < files.size(); ++i)
        addInput(movie, files[i]);
    ExportAVI(files[0], movie, fps, quality, nullptr);
    return 0;
}

const Registration registration({"avi", "avi OUT.avi [--fps F] [--quality Q] INPUT...", runAvi});

} // namespace

} // namespace kestrix::cli
