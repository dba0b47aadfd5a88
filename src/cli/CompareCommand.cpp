// kestrix-cli compare and motion: two images compared as the frame tools compare frames.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "cli/PictureOutput.h"
#include "core/tools/FrameCompare.h"
#include "core/util/Text.h"

#include <iostream>
#include <memory>

namespace kestrix::cli {

namespace {

struct PairOptions {
    std::string a, b, output;
    int quality = kDefaultJpegQuality;
};

void addPair(CLI::App& command, PairOptions& o) {
    command.add_option("A", o.a, "First picture (BMP, GIF, JPEG or PNG)")->required();
    command.add_option("B", o.b, "Second picture")->required();
}

// frameDifference with six decimals, then the black rows at the bottom of B.
void defineCompare(CLI::App& command) {
    command.description(
        "Prints how much two pictures differ and the black rows at the bottom of B.");
    auto o = std::make_shared<PairOptions>();
    addPair(command, *o);
    addExample(command, "kestrix-cli compare cam-0900.jpg cam-0901.jpg");
    onRun(command, [o] {
        Bitmap a = readInputImage(o->a), b = readInputImage(o->b);
        const double d = frameDifference(a, b);
        std::cout << strPrintf("%.6f", d) << " " << bottomBlackRows(b) << "\n";
        return 0;
    });
}

// The motion view of B against A: B's difference to A, pixel by pixel.
void defineMotion(CLI::App& command) {
    command.description(
        "Writes the motion view of B against A: B's difference to A, pixel by pixel.");
    auto o = std::make_shared<PairOptions>();
    addPair(command, *o);
    command.add_option("OUT", o->output, "Picture to write: .bmp, .png or .jpg")->required();
    addQualityOption(command, o->quality);
    addExample(command, "kestrix-cli motion cam-0900.jpg cam-0901.jpg motion.png");
    onRun(command, [o] {
        checkPictureName(o->output);
        Bitmap a = readInputImage(o->a), b = readInputImage(o->b);
        differenceInto(b, a);
        saveImageFile(b, o->output, o->quality);
        return 0;
    });
}

const Registration kCompareRegistration({"compare", defineCompare});
const Registration kMotionRegistration({"motion", defineMotion});

} // namespace

} // namespace kestrix::cli
