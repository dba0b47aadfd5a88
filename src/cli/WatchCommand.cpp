// kestrix-cli watch: the acquisition cycle without a window. One tick per second, a fetch when
// the countdown reaches zero, the program's duplicate test, capture rules and stall time-out;
// one line per fetch on stdout. It runs until the wanted number of frames was captured, Ctrl-C
// or SIGTERM. Movies are written as frames arrive; frames files and GIFs at the end.
#include "cli/CliCommand.h"
#include "cli/ConnectionArgs.h"
#include "cli/PictureOutput.h"
#include "cli/ProgressLine.h"
#include "cli/WatchLinks.h"
#include "core/acquire/Acquisition.h"
#include "core/acquire/StatusTexts.h"
#include "core/frames/FramesFile.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/macros/DateFormatter.h"
#include "core/macros/URLMacros.h"
#include "core/movie/MovieWriter.h"
#include "core/net/HttpClient.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"
#include "core/watch/PictureArchive.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

namespace kestrix::cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onInterrupt(int) {
    stopRequested = 1;
}

struct WatchOptions {
    std::string url;
    int interval = 60;
    int64_t count = 0; // 0: until interrupted
    int timeout = 60;
    std::string saveDir;
    // With --originals, new pictures are saved as the server sent them rather than as BMP frames.
    bool originals = false;
    CaptureOptions capture;
    // Written from the frames held in memory when the watch ends.
    std::string framesFile;
    std::string gifFile;
    // Written while frames arrive.
    std::string aviFile;
    std::string mp4File;
    double fps = 10;
    // Frames saved under saveDir: bmp, png or jpg.
    std::string format = "bmp";
    int quality = kDefaultJpegQuality;
    bool quiet = false;
    ConnectionArgs connection;
    HoursOptions hours;
    bool keepFrames() const { return !framesFile.empty() || !gifFile.empty(); }
};

// A movie that grows with every captured frame; it is opened by the first one.
class LiveMovie {
public:
    LiveMovie(MovieFormat format, std::string fileName, const MovieOptions& options)
        : fileName_(std::move(fileName)), writer_(makeMovieWriter(format, options)) {}

    void add(const Bitmap& frame) {
        if (!opened_)
            writer_->open(frame, fileName_);
        opened_ = true;
        writer_->addFrame(frame);
    }
    void finish() {
        if (!opened_)
            throw Error("No Movie To Save");
        writer_->close();
    }

private:
    std::string fileName_;
    std::unique_ptr<MovieWriter> writer_;
    bool opened_ = false;
};

class ConsoleView final : public AcquisitionView {
public:
    ConsoleView(const WatchOptions& options, const Clock& clock, FrameStore& store,
                const HttpClient& client)
        : options_(options), clock_(clock), store_(store), client_(client) {
        if (!options.aviFile.empty())
            movies_.emplace_back(MovieFormat::Avi, options.aviFile,
                                 MovieOptions{options.fps, 10000, true});
        if (!options.mp4File.empty())
            movies_.emplace_back(MovieFormat::Mp4, options.mp4File,
                                 MovieOptions{options.fps, kDefaultMp4Quality, true});
    }

    int64_t captured = 0;
    // Outside the capture hours the auto-load is up, as if released in the window: the countdown
    // stands and nothing is fetched.
    bool inHours = true;
    // Completes the movies; the first failure is raised after every movie was tried.
    void finishMovies();

    std::string expandedAddress() override {
        return expandUrlMacros(options_.url, clock_, defaultFormatSettings());
    }
    void showImage(Bitmap&) override {}
    void showMotionFrame(int) override {}
    void showImageInfo() override {}
    void setText(StatusField, const std::string&) override {}
    void setStatusColor(bool) override {}
    int frameIndex() const override { return frameIndex_; }
    void setFrameIndex(int index) override { frameIndex_ = index; }
    int maxFrames() const override { return maxFrames_; }
    void setMaxFrames(int count) override { maxFrames_ = count; }
    CaptureOptions captureOptions() const override { return options_.capture; }
    bool autoLoadDown() const override { return inHours; }
    bool loopDown() const override { return false; }
    void releaseLoop() override {}
    double framesPerSecond() const override { return 10; }
    bool motionDetection() const override { return false; }
    void wait(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    bool confirm(const std::string&) override { return false; }
    void fetchFinished(const FetchReport& r) override;

private:
    const WatchOptions& options_;
    const Clock& clock_;
    FrameStore& store_;
    const HttpClient& client_;
    std::vector<LiveMovie> movies_;
    int frameIndex_ = 0;
    int maxFrames_ = 0;
};

void ConsoleView::finishMovies() {
    std::exception_ptr failure;
    for (LiveMovie& movie : movies_) {
        try {
            movie.finish();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void ConsoleView::fetchFinished(const FetchReport& r) {
    std::string line = formatDateTime("yyyy-mm-dd hh:nn:ss", clock_.now(), defaultFormatSettings());
    if (!r.ok)
        line += " " + (r.timedOut ? timedOutText(options_.timeout) : r.error) + " " +
                std::to_string(r.bytes);
    else
        line += std::string(r.duplicate ? " Duplicate " : " New ") + std::to_string(r.bytes) + " " +
                std::to_string(r.width) + "x" + std::to_string(r.height);
    std::cout << line << std::endl;
    if (r.ok && !r.duplicate && options_.originals && !options_.saveDir.empty())
        archivePicture(options_.saveDir, std::time(nullptr),
                       pictureKind(client_.body(), client_.url()), client_.body());
    for (int i = r.firstCaptured; i >= 0 && i <= r.lastCaptured; ++i) {
        ++captured;
        if (!options_.saveDir.empty() && !options_.originals)
            saveImageFile(*store_.get(i),
                          options_.saveDir + "/" +
                              strPrintf("frame-%06lld.", static_cast<long long>(captured)) +
                              options_.format,
                          options_.quality);
        for (LiveMovie& movie : movies_)
            movie.add(*store_.get(i));
    }
    // Without outputs that need them at the end, frames are on disk (or not wanted): a long watch
    // must not fill the memory.
    if (!options_.keepFrames()) {
        store_.clear();
        setMaxFrames(0);
    }
}

void writeOutputs(const WatchOptions& options, const FrameStore& store) {
    ProgressLine progress(options.quiet);
    if (!options.framesFile.empty()) {
        progress.start("Saving frames", store.count());
        if (saveToFile(store, options.framesFile, progress.percent()) ==
            SaveOutcome::OutOfDiskSpace)
            throw Error("Out Of Disk Space");
        progress.complete();
    }
    if (!options.gifFile.empty()) {
        progress.start("Writing GIF", store.count());
        exportAnimatedGif(options.gifFile, store, delayMsForFps(options.fps), progress.percent());
        progress.complete();
    }
}

// Says on stderr until when a watch outside its capture hours waits.
void tellOutsideHours(const CaptureHours& hours, std::time_t now) {
    const std::optional<std::time_t> opening = hours.nextOpening(now);
    const std::string until =
        opening
            ? formatDateTime("yyyy-mm-dd hh:nn:ss",
                             fromSystemTimeLocal(std::chrono::system_clock::from_time_t(*opening)),
                             defaultFormatSettings())
            : "more than a year from now";
    std::cerr << "Outside the capture hours until " << until << std::endl;
}

int watchAddress(const WatchOptions& options) {
    const CaptureHours hours = captureHours(options.hours);
    if (!options.saveDir.empty())
        std::filesystem::create_directories(options.saveDir);
    SystemClock clock;
    FrameStore store;
    AppSettings settings;
    settings.timeOut = options.timeout;
    // Checked before the first fetch, so a bad pin is reported at once.
    const ConnectionOptions connection = connectionOptions(options.connection);
    settings.allowHttps = options.connection.https;
    settings.httpsOffMessage = connection.tls.httpsOffMessage;
    settings.certificateFile = options.connection.caFile;
    settings.pins = joinedPins(options.connection);
    settings.conditional = options.connection.conditional;
    settings.userAgent = options.connection.userAgent;
    settings.rtspOverUdp = connection.streams.rtspOverUdp;
    settings.streamQuality = connection.streams.jpegQuality;
    LinkInfo link{"watch", options.url, options.interval};
    HttpClient client;
    applyImageFetchSettings(client);
    ConsoleView view(options, clock, store, client);
    Acquisition acquisition(view, client, store, clock, defaultFormatSettings(), settings, link);

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    using Steady = std::chrono::steady_clock;
    auto nextTick = Steady::now();
    auto done = [&] {
        return stopRequested || (options.count > 0 && view.captured >= options.count);
    };
    auto tick = [&] {
        const std::time_t now = std::time(nullptr);
        const bool inHours = hours.open(now);
        if (!inHours && view.inHours && !options.quiet)
            tellOutsideHours(hours, now);
        // Back in its hours, the watch fetches at once and keeps its interval from there.
        if (inHours && !view.inHours)
            acquisition.countdown = 0;
        view.inHours = inHours;
        acquisition.onClockTick();
    };
    // Inside a fetch the ticks go on, so the stall time-out works as in the window.
    client.setPump([&] {
        if (done())
            client.cancel();
        if (Steady::now() >= nextTick) {
            nextTick += std::chrono::seconds(1);
            tick();
        }
    });
    while (!done()) {
        if (Steady::now() >= nextTick) {
            nextTick += std::chrono::seconds(1);
            tick();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // The frames kept in memory are written even when a movie cannot be completed.
    std::exception_ptr movieFailure;
    try {
        view.finishMovies();
    } catch (...) {
        movieFailure = std::current_exception();
    }
    writeOutputs(options, store);
    if (movieFailure)
        std::rethrow_exception(movieFailure);
    return 0;
}

void addWatchOptions(CLI::App& command, WatchOptions& o) {
    command.add_option("URL", o.url,
                       "Address to watch (may hold <date> and <counter> macros); one line per "
                       "fetch until --count frames, Ctrl-C or SIGTERM");
    command.add_option("--interval", o.interval, "Seconds from one fetch to the next")
        ->default_val(60)
        ->check(CLI::Range(0, 86400 * 365));
    command.add_option("--count", o.count, "Stop after this many captured frames, 0: never")
        ->default_val(0)
        ->check(CLI::NonNegativeNumber);
    command.add_option("--timeout", o.timeout, "Seconds a fetch may stall before it is given up")
        ->default_val(60)
        ->check(CLI::Range(1, 86400));
    command.add_option("--save-dir", o.saveDir, "Save every captured frame into this folder");
    command.add_option("--format", o.format, "Picture format of the frames under --save-dir")
        ->default_val("bmp")
        ->check(CLI::IsMember({"bmp", "png", "jpg"}));
    addQualityOption(command, o.quality);
    command.add_flag("--originals", o.originals,
                     "Save new pictures under --save-dir as the server sent them instead");
    command.add_flag_callback(
        "--no-gif-frames", [&o] { o.capture.gifAnimations = false; },
        "Capture only the first frame of an animated GIF");
    command.add_flag("--incremental-gif", o.capture.incremental,
                     "Capture only the frames a GIF added since the last fetch");
    command.add_option("--frames", o.framesFile,
                       "Write the captured frames to this frames file "
                       "at the end");
    command.add_option("--gif", o.gifFile,
                       "Write the captured frames as an animated GIF at the "
                       "end");
    command.add_option("--avi", o.aviFile, "Write a Motion-JPEG AVI while frames arrive");
    command.add_option("--mp4", o.mp4File, "Write an H.264 MP4 while frames arrive");
    command.add_option("--fps", o.fps, "Frames per second of the GIF and movies")
        ->default_val(10)
        ->check(aboveZero());
    ProgressLine::addQuietOption(command, o.quiet);
    addConnectionOptions(command, o.connection, true);
    addCaptureHoursOptions(command, o.hours);
}

// The options of a single address's watch that a watch of a link file refuses.
constexpr const char* kSingleAddressOnly[] = {
    "URL",       "--interval",  "--count",         "--format",
    "--quality", "--originals", "--no-gif-frames", "--incremental-gif",
    "--frames",  "--gif",       "--avi",           "--mp4",
    "--fps"};

void defineWatch(CLI::App& command) {
    command.description("Watches an address, or every link of a link file, without a window.");
    auto single = std::make_shared<WatchOptions>();
    auto many = std::make_shared<LinksOptions>();
    addWatchOptions(command, *single);
    addWatchLinksOptions(command, *many);
    addExample(command, "kestrix-cli watch http://cam.example/latest.jpg --interval 30 "
                        "--count 100 --mp4 day.mp4\n  kestrix-cli watch --links cameras.klnx "
                        "--save-dir archive --keep-days 7\n  kestrix-cli watch "
                        "http://cam.example/latest.jpg --hours 07:00-12:00,13:00-19:00\n  "
                        "kestrix-cli watch --links cameras.klnx --save-dir archive --daylight "
                        "46.02,7.75");
    onRun(command, [&command, single, many] {
        if (!many->linkFile.empty()) {
            for (const char* name : kSingleAddressOnly)
                if (command.get_option(name)->count() > 0)
                    throw CLI::ExcludesError("--links", name);
            many->saveDir = single->saveDir;
            many->timeout = single->timeout;
            many->connection = single->connection;
            many->hours = single->hours;
            return runWatchLinks(*many);
        }
        if (single->url.empty())
            throw CLI::RequiredError("URL or --links");
        return watchAddress(*single);
    });
}

const Registration kWatchRegistration({"watch", defineWatch});

} // namespace

} // namespace kestrix::cli
