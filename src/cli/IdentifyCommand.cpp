// kestrix-cli identify: the kind, decoded size and composited frame count of image files.
#include "cli/CliCommand.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/FileIO.h"
#include "core/util/Parallel.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace kestrix::cli {

namespace {

// The kind decodeImage picks for the body at this address.
ImageKind kindOf(std::string_view body, const std::string& address) {
    const ImageKind kind = imageKindFromSignature(body);
    return kind == ImageKind::Unsupported ? imageKindFromExtension(address) : kind;
}

// One file's line, or the message that stopped it.
struct Identity {
    std::string line;
    std::string error;
};

// JPEG sizes come from the header unless `check` asks for every picture to be decoded.
Identity identify(const std::string& path, bool check) {
    try {
        const std::string body = readFileBytes(path);
        const std::string address = std::filesystem::path(path).filename().string();
        const ImageKind kind = kindOf(body, address);
        ImageSize size;
        int32_t frameCount = 1;
        if (kind == ImageKind::Jpeg && !check) {
            size = readJpegSize(body);
        } else {
            Bitmap bitmap;
            BitmapList frames;
            decodeImage(body, address, bitmap, &frames);
            size = {bitmap.width(), bitmap.height()};
            if (kind == ImageKind::Gif)
                frameCount = frames.count();
        }
        return {std::string(imageKindName(kind)) + " " + std::to_string(size.width) + "x" +
                    std::to_string(size.height) + " " + std::to_string(frameCount) + "\n",
                {}};
    } catch (const std::exception& e) {
        return {{}, e.what()};
    }
}

// The files are read a few at a time on every core and reported in the order given.
int runIdentify(const Args& arguments) {
    std::vector<std::string> args;
    bool check = false;
    for (const std::string& argument : arguments) {
        if (argument == "--check")
            check = true;
        else
            args.push_back(argument);
    }
    if (args.empty())
        usageError(findCommand("identify"));
    int status = 0;
    std::vector<Identity> identities(args.size());
    forEachInOrder(
        0, static_cast<int>(args.size()), [&](int i) { identities[i] = identify(args[i], check); },
        [&](int i) {
            Identity& identity = identities[i];
            if (identity.error.empty()) {
                std::cout << identity.line;
            } else {
                std::cout.flush();
                std::cerr << args[i] << ": " << identity.error << "\n";
                status = 1;
            }
            identity = {};
        });
    return status;
}

const Registration kRegistration({"identify", "identify [--check] IN...", runIdentify});

} // namespace

} // namespace kestrix::cli
