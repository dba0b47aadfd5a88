// kestrix-cli identify: the kind, decoded size and composited frame count of image files.
#include "cli/CliCommand.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/FileIO.h"
#include "core/util/Parallel.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
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
int identifyAll(const std::vector<std::string>& args, bool check) {
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

struct IdentifyOptions {
    std::vector<std::string> files;
    bool check = false;
};

void defineIdentify(CLI::App& command) {
    command.description("Prints the kind, size and frame count of pictures (\"Jpeg 1280x720 1\").");
    auto o = std::make_shared<IdentifyOptions>();
    command
        .add_option(
            "IN", o->files,
            "Picture files; one that cannot be read is named on stderr and makes the exit code 1")
        ->required();
    command.add_flag("--check", o->check,
                     "Decode every picture completely (default: a JPEG's size is read from its "
                     "header)");
    addExample(command, "kestrix-cli identify --check archive/*.jpg");
    onRun(command, [o] { return identifyAll(o->files, o->check); });
}

const Registration kIdentifyRegistration({"identify", defineIdentify});

} // namespace

} // namespace kestrix::cli
