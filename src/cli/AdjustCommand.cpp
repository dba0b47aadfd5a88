// kestrix-cli adjust: brightness, contrast and gamma, as the track bars set them, applied to an
// image decoded as the loader would.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "cli/PictureOutput.h"
#include "core/tools/BCG.h"

#include <memory>

namespace kestrix::cli {

namespace {

struct AdjustOptions {
    std::string input, output;
    int brightness = 50, contrast = 50, gamma = 50;
    int quality = kDefaultJpegQuality;
};

void definePosition(CLI::App& command, const std::string& name, int& position,
                    const std::string& meaning) {
    command
        .add_option(name, position, meaning + ": track bar position 0 to 100, 50 changes nothing")
        ->default_val(50)
        ->check(CLI::Range(0, 100));
}

void defineAdjust(CLI::App& command) {
    command.description("Changes a picture's brightness, contrast and gamma as the track bars do.");
    auto o = std::make_shared<AdjustOptions>();
    command.add_option("IN", o->input, "Picture to read (BMP, GIF, JPEG or PNG)")->required();
    command.add_option("OUT", o->output, "Picture to write: .bmp, .png or .jpg")->required();
    definePosition(command, "--brightness", o->brightness, "Brightness");
    definePosition(command, "--contrast", o->contrast, "Contrast");
    definePosition(command, "--gamma", o->gamma, "Gamma");
    addQualityOption(command, o->quality);
    addExample(command, "kestrix-cli adjust dusk.jpg brighter.png --brightness 70 --gamma 60");
    onRun(command, [o] {
        checkPictureName(o->output);
        Bitmap image = readInputImage(o->input);
        Bitmap adjusted;
        applyBcg(image, adjusted, o->brightness / 100.0, o->contrast / 100.0, o->gamma / 100.0);
        saveImageFile(adjusted, o->output, o->quality);
        return 0;
    });
}

const Registration kAdjustRegistration({"adjust", defineAdjust});

} // namespace

} // namespace kestrix::cli
