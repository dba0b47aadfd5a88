// kestrix-cli compare and motion: two images compared as the frame tools compare frames.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/tools/FrameCompare.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>
#include <iostream>

namespace kestrix::cli {

namespace {

// frameDifference with six decimals, then the black rows at the bottom of B.
int runCompare(const Args& args) {
    if (args.size() != 2)
        usageError(findCommand("compare"));
    Bitmap a = readInputImage(args[0]), b = readInputImage(args[1]);
    const double d = frameDifference(a, b);
    std::cout << strPrintf("%.6f", d) << " " << bottomBlackRows(b) << "\n";
    return 0;
}

// The motion view of B against A: B's difference to A, pixel by pixel.
int runMotion(const Args& args) {
    if (args.size() != 3)
        usageError(findCommand("motion"));
    Bitmap a = readInputImage(args[0]), b = readInputImage(args[1]);
    differenceInto(b, a);
    saveBmpFile(b, args[2]);
    return 0;
}

const Registration kCompareRegistration({"compare", "compare A B", runCompare});
const Registration kMotionRegistration({"motion", "motion A B OUT.bmp", runMotion});

} // namespace

} // namespace kestrix::cli
