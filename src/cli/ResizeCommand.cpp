// kestrix-cli resize: decodes an image as the loader would and resizes it with one filter.
#include "CliCommand.h"
#include "decode/ImageDecoder.h"
#include "image/BmpCodec.h"
#include "tools/Resampler.h"
#include "util/Error.h"
#include "util/FileIO.h"
#include "util/Text.h"

#include <filesystem>

namespace kestrix::cli {

namespace {

int filterByName(const std::string& name) {
    const char* names[] = {"box", "triangle", "hermite", "bell", "bspline", "mitchell", "lanczos3"};
    for (int i = 0; i < kFilterCount; ++i)
        if (name == names[i])
            return i;
    throw Error("Unknown filter: " + name);
}

int runResize(const Args& args) {
    const Command& self = findCommand("resize");
    std::vector<std::string> positional;
    int filter = 6;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--filter" && i + 1 < args.size())
            filter = filterByName(args[++i]);
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != 4)
        usageError(self);
    const std::string body = readFileBytes(positional[0]);
    Bitmap bitmap;
    DecodeImage(body, std::filesystem::path(positional[0]).filename().string(), bitmap, nullptr);
    ResizeBitmap(bitmap, strToInt(positional[2]), strToInt(positional[3]), nullptr, filter);
    writeFileAtomically(positional[1], writeBmp(bitmap));
    return 0;
}

const Registration registration(
    {"resize",
     "resize IN OUT.bmp WIDTH HEIGHT [--filter box|triangle|hermite|bell|bspline|mitchell|lanczos3]",
     runResize});

} // namespace

} // namespace kestrix::cli
