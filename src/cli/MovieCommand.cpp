// kestrix-cli movie and avi: images and frames files, in the order given, as one movie. The
// inputs are read, converted and compressed a few at a time on every core and written in order,
// so memory holds only the frames in flight however many there are.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "cli/ProgressLine.h"
#include "core/movie/MovieExport.h"
#include "core/util/Error.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace kestrix::cli {

namespace {

struct MovieArgs {
    std::string output;
    std::vector<std::string> inputs;
    double fps = 10;
    std::optional<int> quality;
    bool quiet = false;
};

void writeInputsAsMovie(MovieFormat format, const MovieArgs& args, int defaultQuality) {
    ProgressLine progress(args.quiet);
    const std::vector<std::string>& inputs = args.inputs;
    const MovieSource source{inputs.size(), [&inputs](size_t index, const FrameVisitor& each) {
                                 visitInputFrames(inputs[index], each);
                             }};
    const auto writer =
        makeMovieWriter(format, {args.fps, args.quality.value_or(defaultQuality), false});
    progress.start("Writing movie", args.quiet ? 0 : countInputFrames(inputs));
    writeMovie(*writer, args.output, source, progress.framesDone());
    progress.complete();
}

std::shared_ptr<MovieArgs> defineMovieArgs(CLI::App& command, const std::string& outputs,
                                           const std::string& qualityDefault) {
    auto o = std::make_shared<MovieArgs>();
    command.add_option("OUT", o->output, "Movie to write: " + outputs)->required();
    command
        .add_option("INPUT", o->inputs,
                    "Pictures (BMP, GIF, JPEG, PNG; a GIF gives all its frames) and .ifrm "
                    "frames files, in movie order")
        ->required();
    command.add_option("--fps", o->fps, "Frames per second, above 0")
        ->default_val(10)
        ->check(aboveZero());
    command
        .add_option("--quality", o->quality,
                    "Quality from 0 to 10000 (default " + qualityDefault + ")")
        ->check(CLI::Range(0, 10000));
    ProgressLine::addQuietOption(command, o->quiet);
    return o;
}

void defineMovie(CLI::App& command) {
    command.description(
        "Writes pictures and frames files as an AVI (Motion-JPEG) or MP4 (H.264) movie.");
    auto o = defineMovieArgs(command, ".avi or .mp4",
                             "10000 for AVI, " + std::to_string(kDefaultMp4Quality) + " for MP4");
    addExample(command, "kestrix-cli movie day.mp4 --fps 25 night.ifrm morning/*.jpg");
    onRun(command, [o] {
        const std::optional<MovieFormat> format = movieFormatForFile(o->output);
        if (!format)
            throw Error("Unknown movie file type: " +
                        std::filesystem::path(o->output).extension().string() +
                        " (use .avi or .mp4)");
        writeInputsAsMovie(*format, *o, *format == MovieFormat::Mp4 ? kDefaultMp4Quality : 10000);
        return 0;
    });
}

void defineAvi(CLI::App& command) {
    command.description("Writes pictures and frames files as a Motion-JPEG AVI.");
    auto o = defineMovieArgs(command, "AVI file", "10000");
    addExample(command, "kestrix-cli avi day.avi --fps 5 --quality 8000 cam-*.jpg");
    onRun(command, [o] {
        writeInputsAsMovie(MovieFormat::Avi, *o, 10000);
        return 0;
    });
}

const Registration kMovie({"movie", defineMovie});
const Registration kAvi({"avi", defineAvi});

} // namespace

} // namespace kestrix::cli
