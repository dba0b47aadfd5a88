// kestrix-cli decode: decodes a file exactly as a fetched body and writes the 24-bit image (and,
// for a GIF, every composited frame) as BMP files.
#include "cli/CliCommand.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/image/BmpCodec.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>

namespace kestrix::cli {

namespace {

int runDecode(const Args& args) {
    const Command& self = findCommand("decode");
    std::vector<std::string> positional;
    std::string prefix;
    std::string address;
    bool haveAddress = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--frames" || args[i] == "--address") && i + 1 < args.size()) {
            (args[i] == "--frames" ? prefix : address) = args[i + 1];
            haveAddress = haveAddress || args[i] == "--address";
            ++i;
        } else if (args[i].starts_with("--")) {
            usageError(self);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
        usageError(self);
    if (!haveAddress)
        address = std::filesystem::path(positional[0]).filename().string();
    const std::string body = readFileBytes(positional[0]);
    Bitmap bitmap;
    BitmapList frames;
    decodeImage(body, address, bitmap, &frames, true);
    saveBmpFile(bitmap, positional[1]);
    if (!prefix.empty())
        for (int32_t i = 0; i < frames.count(); ++i)
            saveBmpFile(*frames.get(i), prefix + strPrintf("%04d.bmp", i));
    return 0;
}

const Registration kRegistration({"decode", "decode IN OUT.bmp [--frames PREFIX] [--address ADDR]",
                                  runDecode});

} // namespace

} // namespace kestrix::cli
