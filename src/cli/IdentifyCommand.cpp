// kestrix-cli identify: the kind, decoded size and composited frame count of image files.
#include "CliCommand.h"
#include "decode/ImageDecoder.h"
#include "frames/BitmapList.h"
#include "util/FileIO.h"

#include <exception>
#include <filesystem>
#include <iostream>

namespace kestrix::cli {

namespace {

// The kind DecodeImage picks for the body at this address.
ImageKind kindOf(std::string_view body, const std::string& address) {
    const ImageKind kind = ImageKindFromSignature(body);
    return kind == ImageKind::Unsupported ? ImageKindFromExtension(address) : kind;
}

int runIdentify(const Args& args) {
    if (args.empty())
        usageError(findCommand("identify"));
    int status = 0;
    for (const std::string& path : args) {
        try {
            const std::string body = readFileBytes(path);
            const std::string address = std::filesystem::path(path).filename().string();
            Bitmap bitmap;
            TBitmapList frames;
            DecodeImage(body, address, bitmap, &frames);
            const ImageKind kind = kindOf(body, address);
            const int32_t frameCount = kind == ImageKind::Gif ? frames.Count() : 1;
            std::cout << imageKindName(kind) << " " << bitmap.width() << "x" << bitmap.height()
                      << " " << frameCount << "\n";
        } catch (const std::exception& e) {
            std::cerr << path << ": " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

const Registration registration({"identify", "identify IN...", runIdentify});

} // namespace

} // namespace kestrix::cli
