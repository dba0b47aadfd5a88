// kestrix-cli gif: an animated GIF from images and frames files, as "Save Animated GIF..." writes
// the animation.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "cli/ProgressLine.h"
#include "core/gif/AnimatedGifWriter.h"

#include <memory>

namespace kestrix::cli {

namespace {

struct GifOptions {
    std::string output;
    std::vector<std::string> inputs;
    double fps = 10;
    bool quiet = false;
};

void defineGif(CLI::App& command) {
    command.description("Writes pictures and frames files as an animated GIF.");
    auto o = std::make_shared<GifOptions>();
    command.add_option("OUT", o->output, "GIF file to write")->required();
    command
        .add_option("INPUT", o->inputs,
                    "Pictures (BMP, GIF, JPEG, PNG; a GIF gives all its frames) and .ifrm "
                    "frames files")
        ->required();
    command.add_option("--fps", o->fps, "Frames per second, 0.5 to 200")
        ->default_val(10)
        ->check(between(0.5, 200));
    ProgressLine::addQuietOption(command, o->quiet);
    addExample(command, "kestrix-cli gif loop.gif --fps 4 cam-*.jpg");
    onRun(command, [o] {
        ProgressLine progress(o->quiet);
        FrameStore frames;
        addInputFrames(frames, o->inputs);
        progress.start("Writing GIF", frames.count());
        exportAnimatedGif(o->output, frames, delayMsForFps(o->fps), progress.percent());
        progress.complete();
        return 0;
    });
}

const Registration kGifRegistration({"gif", defineGif});

} // namespace

} // namespace kestrix::cli
