// kestrix-cli gif: an animated GIF from images and frames files, as "Save Animated GIF..." writes
// the animation.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

namespace kestrix::cli {

namespace {

int runGif(const Args& args) {
    const Command& self = findCommand("gif");
    double fps = 10;
    std::vector<std::string> inputs;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--fps" && i + 1 < args.size()) {
            fps = strToFloat(args[++i], defaultFormatSettings());
            if (!(fps >= 0.5 && fps <= 200))
                throw Error("--fps takes 0.5 to 200 frames per second");
        } else {
            inputs.push_back(args[i]);
        }
    }
    if (inputs.size() < 2)
        usageError(self);
    const std::string out = inputs.front();
    inputs.erase(inputs.begin());
    FrameStore frames;
    addInputFrames(frames, inputs);
    exportAnimatedGif(out, frames, delayMsForFps(fps), nullptr);
    return 0;
}

const Registration kRegistration({"gif", "gif OUT.gif [--fps F] INPUT...", runGif});

} // namespace

} // namespace kestrix::cli
