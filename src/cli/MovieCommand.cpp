// kestrix-cli movie and avi: images and frames files, in the order given, as one movie. The
// inputs are read, converted and compressed a few at a time on every core and written in order,
// so memory holds only the frames in flight however many there are.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "core/movie/MovieExport.h"
#include "core/util/Error.h"
#include "core/util/FormatSettings.h"
#include "core/util/Text.h"

#include <cmath>
#include <filesystem>
#include <optional>

namespace kestrix::cli {

namespace {

struct MovieArgs {
    std::vector<std::string> files;
    double fps = 10;
    std::optional<int> quality;
};

MovieArgs parseMovieArgs(const Args& args, const Command& self) {
    MovieArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--fps" && i + 1 < args.size()) {
            parsed.fps = strToFloat(args[++i], defaultFormatSettings());
            if (!(parsed.fps > 0) || !std::isfinite(parsed.fps))
                throw Error("--fps takes a number of frames per second above 0");
        } else if (args[i] == "--quality" && i + 1 < args.size()) {
            parsed.quality = strToInt(args[++i]);
            if (*parsed.quality < 0 || *parsed.quality > 10000)
                throw Error("--quality takes a value from 0 to 10000");
        } else {
            parsed.files.push_back(args[i]);
        }
    }
    if (parsed.files.size() < 2)
        usageError(self);
    return parsed;
}

void writeInputsAsMovie(MovieFormat format, const MovieArgs& args, int defaultQuality) {
    const std::vector<std::string> inputs(args.files.begin() + 1, args.files.end());
    const MovieSource source{inputs.size(), [&inputs](size_t index, const FrameVisitor& each) {
                                 visitInputFrames(inputs[index], each);
                             }};
    const auto writer =
        makeMovieWriter(format, {args.fps, args.quality.value_or(defaultQuality), false});
    writeMovie(*writer, args.files[0], source, nullptr);
}

int runMovie(const Args& args) {
    const MovieArgs parsed = parseMovieArgs(args, findCommand("movie"));
    const std::optional<MovieFormat> format = movieFormatForFile(parsed.files[0]);
    if (!format)
        throw Error("Unknown movie file type: " +
                    std::filesystem::path(parsed.files[0]).extension().string() +
                    " (use .avi or .mp4)");
    writeInputsAsMovie(*format, parsed, *format == MovieFormat::Mp4 ? kDefaultMp4Quality : 10000);
    return 0;
}

int runAvi(const Args& args) {
    writeInputsAsMovie(MovieFormat::Avi, parseMovieArgs(args, findCommand("avi")), 10000);
    return 0;
}

const Registration kMovie({"movie", "movie OUT.avi|OUT.mp4 [--fps F] [--quality Q] INPUT...",
                           runMovie});
const Registration kAvi({"avi", "avi OUT.avi [--fps F] [--quality Q] INPUT...", runAvi});

} // namespace

} // namespace kestrix::cli
