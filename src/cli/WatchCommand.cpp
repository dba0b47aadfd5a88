// kestrix-cli watch: the acquisition cycle without a window. One tick per second, a fetch when
// the countdown reaches zero, the program's duplicate test, capture rules and stall time-out;
// one line per fetch on stdout. It runs until the wanted number of frames was captured, Ctrl-C
// or SIGTERM. Movies are written as frames arrive; frames files and GIFs at the end.
#include "cli/CliCommand.h"
#include "cli/ConnectionArgs.h"
#include "cli/WatchLinks.h"
#include "core/acquire/Acquisition.h"
#include "core/frames/FramesFile.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/image/BmpCodec.h"
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
    ConnectionArgs connection;
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

WatchOptions parseOptions(const Args& args, const Command& self) {
    WatchOptions o;
    auto number = [&](size_t& i) {
        if (i + 1 >= args.size())
            usageError(self);
        return strToInt(args[++i]);
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--interval")
            o.interval = number(i);
        else if (a == "--count")
            o.count = number(i);
        else if (a == "--timeout")
            o.timeout = number(i);
        else if (a == "--save-dir" && i + 1 < args.size())
            o.saveDir = args[++i];
        else if (a == "--originals")
            o.originals = true;
        else if (a == "--no-gif-frames")
            o.capture.gifAnimations = false;
        else if (a == "--incremental-gif")
            o.capture.incremental = true;
        else if (a == "--frames" && i + 1 < args.size())
            o.framesFile = args[++i];
        else if (a == "--gif" && i + 1 < args.size())
            o.gifFile = args[++i];
        else if (a == "--avi" && i + 1 < args.size())
            o.aviFile = args[++i];
        else if (a == "--mp4" && i + 1 < args.size())
            o.mp4File = args[++i];
        else if (a == "--fps" && i + 1 < args.size())
            o.fps = strToFloat(args[++i], defaultFormatSettings());
        else if (takeConnectionArg(args, i, o.connection, true))
            continue;
        else if (o.url.empty() && a.rfind("--", 0) != 0)
            o.url = a;
        else
            usageError(self);
    }
    if (o.url.empty())
        usageError(self);
    return o;
}

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
    bool autoLoadDown() const override { return true; }
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
        line += " " + r.error + " " + std::to_string(r.bytes);
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
            saveBmpFile(*store_.get(i),
                        options_.saveDir + "/" +
                            strPrintf("frame-%06lld.bmp", static_cast<long long>(captured)));
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
    if (!options.framesFile.empty() &&
        saveToFile(store, options.framesFile, nullptr) == SaveOutcome::OutOfDiskSpace)
        throw Error("Out Of Disk Space");
    if (!options.gifFile.empty())
        exportAnimatedGif(options.gifFile, store, delayMsForFps(options.fps), nullptr);
}

int runWatch(const Args& args) {
    if (std::find(args.begin(), args.end(), "--links") != args.end())
        return runWatchLinks(args);
    const WatchOptions options = parseOptions(args, findCommand("watch"));
    if (!options.saveDir.empty())
        std::filesystem::create_directories(options.saveDir);
    SystemClock clock;
    FrameStore store;
    AppSettings settings;
    settings.timeOut = options.timeout;
    // Checked before the first fetch, so a bad pin is reported at once.
    connectionOptions(options.connection);
    settings.allowHttps = options.connection.https;
    settings.certificateFile = options.connection.caFile;
    settings.pins = joinedPins(options.connection);
    settings.conditional = options.connection.conditional;
    settings.userAgent = options.connection.userAgent;
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
    // Inside a fetch the ticks go on, so the stall time-out works as in the window.
    client.setPump([&] {
        if (done())
            client.cancel();
        if (Steady::now() >= nextTick) {
            nextTick += std::chrono::seconds(1);
            acquisition.onClockTick();
        }
    });
    while (!done()) {
        if (Steady::now() >= nextTick) {
            nextTick += std::chrono::seconds(1);
            acquisition.onClockTick();
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

const Registration kRegistration(
    {"watch",
     "watch URL [--interval S] [--count N] [--timeout S] [--save-dir DIR] [--originals] "
     "[--no-gif-frames] "
     "[--incremental-gif] [--frames OUT.ifrm] [--gif OUT.gif] [--avi OUT.avi] [--mp4 OUT.mp4] "
     "[--fps F] "
     "[--https] [--ca-file PEM] [--pin SHA256]... [--user-agent TEXT] [--conditional]\n"
     "       kestrix-cli watch --links FILE.klnx --save-dir DIR [--parallel N] [--timeout S] "
     "[--keep-days D] [--max-bytes SIZE] [--json] [--serve [HOST:]PORT] [--shard K/N] "
     "[connection options]",
     runWatch});

} // namespace

} // namespace kestrix::cli
