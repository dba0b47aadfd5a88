// kestrix-cli frames: frames files packed from images, unpacked to bitmaps, and described.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/FramesFile.h"
#include "core/image/BmpCodec.h"
#include "core/tools/FrameCompare.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>
#include <iostream>

namespace kestrix::cli {

namespace {

int pack(const Args& args) {
    FrameStore frames;
    readInputsInOrder<Bitmap>({args.begin() + 2, args.end()}, readInputImage,
                              [&frames](Bitmap& image) { frames.add(image); });
    if (saveToFile(frames, args[1], nullptr) == SaveOutcome::OutOfDiskSpace)
        throw Error("Out Of Disk Space");
    return 0;
}

int unpack(const Args& args) {
    FrameStore frames;
    loadFromFile(frames, args[1], nullptr);
    std::filesystem::create_directories(args[2]);
    for (int32_t i = 0; i < frames.count(); ++i)
        saveBmpFile(*frames.get(i), args[2] + strPrintf("/frame-%04d.bmp", i));
    return 0;
}

int info(const Args& args) {
    FrameStore frames;
    loadFromFile(frames, args[1], nullptr);
    std::cout << frames.count() << "\n";
    for (int32_t i = 0; i < frames.count(); ++i) {
        const Bitmap& b = *frames.get(i);
        std::cout << b.width() << " x " << b.height() << " " << bitsPerPixel(b.pixelFormat())
                  << "\n";
    }
    return 0;
}

// flaws and dups: the list as the question shows it, or the notice; with --delete OUT.ifrm the
// store without the found frames is saved.
int findAndDelete(const Args& args, const Command& self) {
    const bool flaws = args[0] == "flaws";
    FlawSettings settings;
    std::string input, output;
    for (size_t i = 1; i < args.size(); ++i) {
        if (flaws && args[i] == "--threshold" && i + 1 < args.size())
            settings.threshold = strToFloat(args[++i], defaultFormatSettings());
        else if (flaws && args[i] == "--no-black")
            settings.blackFrames = false;
        else if (args[i] == "--delete" && i + 1 < args.size())
            output = args[++i];
        else if (input.empty())
            input = args[i];
        else
            usageError(self);
    }
    if (input.empty())
        usageError(self);
    FrameStore frames;
    loadFromFile(frames, input, nullptr);
    const std::vector<int> found =
        flaws ? findFlawedFrames(frames, settings, nullptr) : findDuplicateFrames(frames, nullptr);
    if (found.empty())
        std::cout << (flaws ? "No Flaws Found" : "No Duplicates Found") << "\n";
    else
        std::cout << listText(found) << "\n";
    if (!output.empty()) {
        // From the highest position down, so that the positions still to delete stay valid.
        for (size_t i = found.size(); i-- > 0;)
            frames.remove(found[i]);
        if (saveToFile(frames, output, nullptr) == SaveOutcome::OutOfDiskSpace)
            throw Error("Out Of Disk Space");
    }
    return 0;
}

int average(const Args& args) {
    FrameStore frames;
    loadFromFile(frames, args[1], nullptr);
    Bitmap mean;
    averageFrames(frames, mean, nullptr);
    if (mean.empty())
        throw Error("No frames to average");
    saveBmpFile(mean, args[2]);
    return 0;
}

int runFrames(const Args& args) {
    const Command& self = findCommand("frames");
    if (args.size() >= 2 && args[0] == "pack")
        return pack(args);
    if (args.size() == 3 && args[0] == "unpack")
        return unpack(args);
    if (args.size() == 2 && args[0] == "info")
        return info(args);
    if (args.size() >= 2 && (args[0] == "flaws" || args[0] == "dups"))
        return findAndDelete(args, self);
    if (args.size() == 3 && args[0] == "average")
        return average(args);
    usageError(self);
}

const Registration
    kRegistration({"frames",
                   "frames pack OUT.ifrm IMAGE... | unpack IN.ifrm DIR | info IN.ifrm | "
                   "flaws IN.ifrm [--threshold T] [--no-black] [--delete OUT.ifrm] | "
                   "dups IN.ifrm [--delete OUT.ifrm] | average IN.ifrm OUT.bmp",
                   runFrames});

} // namespace

} // namespace kestrix::cli
