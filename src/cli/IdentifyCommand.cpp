// kestrix-cli identify: the kind, decoded size and composited frame count of image files.
#include "cli/CliCommand.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/FileIO.h"

#include <exception>
#include <filesystem>
#include <iostream>

namespace kestrix::cli {

namespace {

// The kind decodeImage picks for the body at this address.
ImageKind kindOf(std::string_view body, const std::string& address) {
    const ImageKind kind = imageKindFromSignature(body);
    return kind == ImageKind::Unsupported ? imageKindFromExtension(address) : kind;
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
            BitmapList frames;
            decodeImage(body, address, bitmap, &frames);
            const ImageKind kind = kindOf(body, address);
            const int32_t frameCount = kind == ImageKind::Gif ? frames.count() : 1;
            std::cout << imageKindName(kind) << " " << bitmap.width() << "x" << bitmap.height()
                      << " " << frameCount << "\n";
        } catch (const std::exception& e) {
            std::cerr << path << ": " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

const Registration kRegistration({"identify", "identify IN...", runIdentify});

} // namespace

} // namespace kestrix::cli
