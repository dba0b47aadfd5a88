// kestrix-cli timelapse: the pictures a watch archived for one link within a span of time (or one
// a day, the nearest to a time of day) as one movie or animated GIF. The pictures are read a few
// at a time, never a day of them at once.
#include "cli/CliCommand.h"
#include "cli/ProgressLine.h"
#include "core/movie/MovieWriter.h"
#include "core/util/Error.h"
#include "core/watch/Timelapse.h"
#include "core/watch/WatchList.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

namespace kestrix::cli {

namespace {

struct TimelapseArgs {
    std::string output;
    std::string saveDir;
    std::string link;
    std::string from, to, at;
    std::string timezone = "utc";
    double fps = 24;
    std::optional<int> quality;
    bool quiet = false;
};

// `name` is what the help shows after the option; `expected` what a refusal says it takes.
CLI::Validator checkedText(bool (*accepts)(const std::string&), const std::string& expected,
                           const std::string& name) {
    return {[accepts, expected](const std::string& text) {
                return accepts(text) ? std::string() : "takes " + expected + ", not " + text;
            },
            name};
}

bool isTime(const std::string& text) {
    return parseTimelapseTime(text, TimeZoneChoice::Utc).has_value();
}

bool isTimeOfDay(const std::string& text) {
    return parseTimeOfDay(text).has_value();
}

// The link's folder under DIR: PATH as the archive names it ("Volcanos/Etna"), else the link's
// path as the link file writes it, each name made safe as the watch makes it. Names that would
// leave DIR are a usage error.
std::string linkFolder(const std::string& saveDir, const std::string& link) {
    const std::filesystem::path path(link);
    if (link.empty() || path.is_absolute())
        throw CLI::ValidationError("--link", "takes a link's folder under --save-dir, not " + link);
    std::string safe;
    for (const auto& part : path) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == "..")
            throw CLI::ValidationError("--link",
                                       "takes a link's folder under --save-dir, not " + link);
        safe += (safe.empty() ? "" : "/") + safeFileName(name);
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(saveDir, ec))
        throw Error("No save folder " + saveDir);
    for (const std::string& folder : {link, safe})
        if (std::filesystem::is_directory(saveDir + "/" + folder, ec))
            return folder;
    throw Error("No folder of link " + link + " in " + saveDir);
}

int runTimelapse(const TimelapseArgs& args) {
    const TimeZoneChoice zone =
        args.timezone == "local" ? TimeZoneChoice::Local : TimeZoneChoice::Utc;
    const std::time_t from = *parseTimelapseTime(args.from, zone);
    const std::time_t to = *parseTimelapseTime(args.to, zone);
    if (to <= from)
        throw CLI::ValidationError("--to", "must be later than --from (" + args.from + ")");
    const std::optional<TimelapseFormat> format = timelapseFormatForFile(args.output);
    if (!format)
        throw Error("Unknown timelapse file type: " +
                    std::filesystem::path(args.output).extension().string() +
                    " (use .mp4, .avi or .gif)");
    if (*format == TimelapseFormat::Gif && args.quality)
        throw CLI::ValidationError("--quality", "applies to .mp4 and .avi timelapses only");
    if (*format == TimelapseFormat::Gif && (args.fps < 0.5 || args.fps > 200))
        throw CLI::ValidationError("--fps", "takes a number from 0.5 to 200 for a GIF");

    const std::string folder = linkFolder(args.saveDir, args.link);
    std::vector<ArchivedPicture> pictures = picturesBetween(args.saveDir + "/" + folder, from, to);
    if (!args.at.empty())
        pictures = nearestEachDay(pictures, *parseTimeOfDay(args.at), zone);
    if (pictures.empty())
        throw Error("No pictures of " + args.link + " between " + args.from + " and " + args.to +
                    (zone == TimeZoneChoice::Utc ? " (UTC)" : " (local time)"));

    ProgressLine progress(args.quiet);
    progress.start("Writing timelapse", static_cast<int64_t>(pictures.size()));
    const TimelapseResult result = writeTimelapse(pictures, args.output, *format,
                                                  {args.fps, args.quality}, progress.framesDone());
    progress.complete();
    if (result.skipped > 0)
        std::cerr << "Left out " << result.skipped << " of " << pictures.size()
                  << " pictures that could not be read (" << result.firstSkipped << ")\n";
    return 0;
}

void defineTimelapse(CLI::App& command) {
    command.description(
        "Writes the pictures a watch --links archived for one link within a span of time, or "
        "one a day, as an MP4 or AVI movie or an animated GIF.");
    auto o = std::make_shared<TimelapseArgs>();
    command.add_option("OUT", o->output, "Timelapse to write: .mp4, .avi or .gif")->required();
    command.add_option("--save-dir", o->saveDir, "The watch's save folder")->required();
    command
        .add_option("--link", o->link,
                    "The link's folder under --save-dir (Volcanos/Etna), or its path as the link "
                    "file writes it")
        ->required();
    const std::string times = "YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS";
    command.add_option("--from", o->from, "First time taken in, as " + times)
        ->required()
        ->check(checkedText(isTime, times, "TIME"));
    command
        .add_option("--to", o->to,
                    "End of the span, not taken in, as " + times + " (a date alone: its start)")
        ->required()
        ->check(checkedText(isTime, times, "TIME"));
    command
        .add_option("--at", o->at,
                    "One picture a day: the one nearest to this time of day (HH:MM or HH:MM:SS)")
        ->check(checkedText(isTimeOfDay, "HH:MM or HH:MM:SS", "HH:MM"));
    command
        .add_option("--timezone", o->timezone,
                    "Times, days and --at in utc or in the machine's local time")
        ->default_val("utc")
        ->check(CLI::IsMember({"utc", "local"}));
    command.add_option("--fps", o->fps, "Frames per second, above 0 (0.5 to 200 for a GIF)")
        ->default_val(24)
        ->check(aboveZero());
    command
        .add_option("--quality", o->quality,
                    "Movie quality from 0 to 10000 (default " + std::to_string(kDefaultMp4Quality) +
                        " for MP4, 10000 for AVI)")
        ->check(CLI::Range(0, 10000));
    ProgressLine::addQuietOption(command, o->quiet);
    addExample(command, "kestrix-cli timelapse --save-dir archive --link Volcanos/Etna --from "
                        "2026-12-01 --to 2026-12-08 --at 12:00 etna-week.mp4");
    onRun(command, [o] { return runTimelapse(*o); });
}

const Registration kTimelapseRegistration({"timelapse", defineTimelapse});

} // namespace

} // namespace kestrix::cli
