// kestrix-cli resize: decodes an image as the loader would and resizes it with one filter.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "cli/PictureOutput.h"
#include "core/tools/Resampler.h"

#include <map>
#include <memory>

namespace kestrix::cli {

namespace {

struct ResizeOptions {
    std::string input, output;
    int width = 0, height = 0;
    ResampleFilter filter = ResampleFilter::Lanczos3;
    int quality = kDefaultJpegQuality;
};

void defineResize(CLI::App& command) {
    command.description("Resizes a picture with one of the program's filters.");
    auto o = std::make_shared<ResizeOptions>();
    command.add_option("IN", o->input, "Picture to read (BMP, GIF, JPEG or PNG)")->required();
    command.add_option("OUT", o->output, "Picture to write: .bmp, .png or .jpg")->required();
    command.add_option("WIDTH", o->width, "New width in pixels")
        ->required()
        ->check(CLI::Range(1, kMaxImageSide));
    command.add_option("HEIGHT", o->height, "New height in pixels")
        ->required()
        ->check(CLI::Range(1, kMaxImageSide));
    const std::map<std::string, ResampleFilter> filters = {
        {"box", ResampleFilter::Box},          {"triangle", ResampleFilter::Triangle},
        {"hermite", ResampleFilter::Hermite},  {"bell", ResampleFilter::Bell},
        {"bspline", ResampleFilter::BSpline},  {"mitchell", ResampleFilter::Mitchell},
        {"lanczos3", ResampleFilter::Lanczos3}};
    command
        .add_option("--filter", o->filter,
                    "Resampling filter: box, triangle, hermite, bell, bspline, mitchell or "
                    "lanczos3")
        ->transform(CLI::CheckedTransformer(filters))
        ->option_text("NAME=lanczos3");
    addQualityOption(command, o->quality);
    addExample(command, "kestrix-cli resize photo.jpg small.png 320 200 --filter mitchell");
    onRun(command, [o] {
        checkPictureName(o->output);
        Bitmap bitmap = readInputImage(o->input);
        resizeBitmap(bitmap, o->width, o->height, nullptr, o->filter);
        saveImageFile(bitmap, o->output, o->quality);
        return 0;
    });
}

const Registration kResizeRegistration({"resize", defineResize});

} // namespace

} // namespace kestrix::cli
