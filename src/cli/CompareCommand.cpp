// kestrix-cli compare and motion: two images compared as the frame tools compare frames.
#include "CliCommand.h"
#include "decode/ImageDecoder.h"
#include "image/BmpCodec.h"
#include "tools/FrameCompare.h"
#include "util/FileIO.h"
#include "util/Text.h"

#include <filesystem>
#include <iostream>

namespace kestrix::cli {

namespace {

Bitmap decodeFile(const std::string& path) {
    Bitmap image;
    DecodeImage(readFileBytes(path), std::filesystem::path(path).filename().string(), image,
                nullptr);
    return image;
}

// FrameDifference with six decimals, then the black rows at the bottom of B.
int runCompare(const Args& args) {
    if (args.size() != 2)
        usageError(findCommand("compare"));
    Bitmap a = decodeFile(args[0]), b = decodeFile(args[1]);
    const double d = FrameDifference(a, b);
    std::cout << strPrintf("%.6f", d) << " " << BottomBlackRows(b) << "\n";
    return 0;
}

// The motion view of B against A: B's difference to A, pixel by pixel.
int runMotion(const Args& args) {
    if (args.size() != 3)
        usageError(findCommand("motion"));
    Bitmap a = decodeFile(args[0]), b = decodeFile(args[1]);
    DifferenceInto(b, a);
    writeFileAtomically(args[2], writeBmp(b));
    return 0;
}

const Registration compareRegistration({"compare", "compare A B", runCompare});
const Registration motionRegistration({"motion", "motion A B OUT.bmp", runMotion});

} // namespace

} // namespace kestrix::cli
