// kestrix-cli avi: images and frames files, in the order given, exported as one AVI movie.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/frames/FramesFile.h"
#include "core/movie/AviExport.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/FormatSettings.h"
#include "core/util/Text.h"

#include <cmath>
#include <filesystem>

namespace kestrix::cli {

namespace {

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
    BitmapList movie;
    addInputFrames(movie, std::vector<std::string>(files.begin() + 1, files.end()));
    exportAvi(files[0], movie, fps, quality, nullptr);
    return 0;
}

const Registration kRegistration({"avi", "avi OUT.avi [--fps F] [--quality Q] INPUT...", runAvi});

} // namespace

} // namespace kestrix::cli
