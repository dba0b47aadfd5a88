// kestrix-cli resize: decodes an image as the loader would and resizes it with one filter.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/tools/Resampler.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>

namespace kestrix::cli {

namespace {

ResampleFilter filterByName(const std::string& name) {
    const char* names[] = {"box", "triangle", "hermite", "bell", "bspline", "mitchell", "lanczos3"};
    for (int i = 0; i < kFilterCount; ++i)
        if (name == names[i])
            return kAllFilters[i];
    throw Error("Unknown filter: " + name);
}

int runResize(const Args& args) {
    const Command& self = findCommand("resize");
    std::vector<std::string> positional;
    ResampleFilter filter = ResampleFilter::Lanczos3;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--filter" && i + 1 < args.size())
            filter = filterByName(args[++i]);
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != 4)
        usageError(self);
    Bitmap bitmap = readInputImage(positional[0]);
    resizeBitmap(bitmap, strToInt(positional[2]), strToInt(positional[3]), nullptr, filter);
    saveBmpFile(bitmap, positional[1]);
    return 0;
}

const Registration kRegistration({"resize",
                                  "resize IN OUT.bmp WIDTH HEIGHT [--filter "
                                  "box|triangle|hermite|bell|bspline|mitchell|lanczos3]",
                                  runResize});

} // namespace

} // namespace kestrix::cli
