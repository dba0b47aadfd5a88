// kestrix-cli frames: frames files packed from images, unpacked to pictures, described, cleaned
// of flawed and duplicate frames, and averaged.
#include "cli/CliCommand.h"
#include "cli/CliInputs.h"
#include "cli/PictureOutput.h"
#include "cli/ProgressLine.h"
#include "core/frames/FramesFile.h"
#include "core/tools/FrameCompare.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

#include <filesystem>
#include <iostream>
#include <memory>

namespace kestrix::cli {

namespace {

struct FramesOptions {
    std::string file;   // the frames file read, or written by pack
    std::string output; // unpack's folder, average's picture, the cleaned frames file
    std::vector<std::string> images;
    std::string format = "bmp";
    int quality = kDefaultJpegQuality;
    FlawSettings flaws;
    bool quiet = false;
};

void saveFrames(const FrameStore& frames, const std::string& path, ProgressLine& progress) {
    progress.start("Saving frames", frames.count());
    if (saveToFile(frames, path, progress.percent()) == SaveOutcome::OutOfDiskSpace)
        throw Error("Out Of Disk Space");
    progress.complete();
}

void loadFrames(FrameStore& frames, const std::string& path, ProgressLine& progress) {
    progress.start("Reading frames", countInputFrames({path}));
    loadFromFile(frames, path, progress.percent());
    progress.complete();
}

CLI::App* addFramesCommand(CLI::App& command, const char* name, const std::string& description,
                           const std::shared_ptr<FramesOptions>& o) {
    CLI::App* sub = command.add_subcommand(name, description);
    sub->add_option("IN", o->file, "Frames file to read (.ifrm)")->required();
    return sub;
}

void definePack(CLI::App& command, const std::shared_ptr<FramesOptions>& o) {
    CLI::App* pack = command.add_subcommand(
        "pack", "Writes pictures (BMP, GIF, JPEG or PNG) as the frames of a new frames file");
    pack->add_option("OUT", o->file, "Frames file to write (.ifrm)")->required();
    pack->add_option("IMAGE", o->images, "Pictures, in frame order")->required();
    ProgressLine::addQuietOption(*pack, o->quiet);
    addExample(*pack, "kestrix-cli frames pack morning.ifrm cam-*.jpg");
    onRun(*pack, [o] {
        ProgressLine progress(o->quiet);
        FrameStore frames;
        progress.start("Reading pictures", static_cast<int64_t>(o->images.size()));
        readInputsInOrder<Bitmap>(o->images, readInputImage, [&](Bitmap& image) {
            frames.add(image);
            progress.update(frames.count());
        });
        saveFrames(frames, o->file, progress);
        return 0;
    });
}

void defineUnpack(CLI::App& command, const std::shared_ptr<FramesOptions>& o) {
    CLI::App* unpack =
        addFramesCommand(command, "unpack", "Writes every frame as DIR/frame-0000.EXT, ...", o);
    unpack->add_option("DIR", o->output, "Folder to write into (made when missing)")->required();
    unpack->add_option("--format", o->format, "Picture format of the frames")
        ->default_val("bmp")
        ->check(CLI::IsMember({"bmp", "png", "jpg"}));
    addQualityOption(*unpack, o->quality);
    addExample(*unpack, "kestrix-cli frames unpack morning.ifrm frames --format png");
    onRun(*unpack, [o] {
        FrameStore frames;
        loadFromFile(frames, o->file, nullptr);
        std::filesystem::create_directories(o->output);
        const std::string pattern = "/frame-%04d." + o->format;
        for (int32_t i = 0; i < frames.count(); ++i)
            saveImageFile(*frames.get(i), o->output + strPrintf(pattern.c_str(), i), o->quality);
        return 0;
    });
}

void defineInfo(CLI::App& command, const std::shared_ptr<FramesOptions>& o) {
    CLI::App* info = addFramesCommand(
        command, "info", "Prints the number of frames, then each frame's size and bits per pixel",
        o);
    addExample(*info, "kestrix-cli frames info morning.ifrm");
    onRun(*info, [o] {
        FrameStore frames;
        loadFromFile(frames, o->file, nullptr);
        std::cout << frames.count() << "\n";
        for (int32_t i = 0; i < frames.count(); ++i) {
            const Bitmap& b = *frames.get(i);
            std::cout << b.width() << " x " << b.height() << " " << bitsPerPixel(b.pixelFormat())
                      << "\n";
        }
        return 0;
    });
}

// flaws and dups: the list as the question shows it, or the notice; with --delete OUT.ifrm the
// store without the found frames is saved.
void defineSearch(CLI::App& command, const std::shared_ptr<FramesOptions>& o, bool flaws) {
    CLI::App* search =
        flaws
            ? addFramesCommand(command, "flaws",
                               "Lists flawed and black frames by number (or \"No Flaws Found\")", o)
            : addFramesCommand(command, "dups",
                               "Lists frames equal to an earlier one (or \"No Duplicates "
                               "Found\")",
                               o);
    if (flaws) {
        search
            ->add_option("--threshold", o->flaws.threshold,
                         "Difference to both neighbours that makes a frame flawed")
            ->default_val(o->flaws.threshold);
        search->add_flag_callback(
            "--no-black", [o] { o->flaws.blackFrames = false; },
            "Do not count black frames as flawed");
    }
    search->add_option("--delete", o->output,
                       "Save the frames file without the frames found as this file");
    ProgressLine::addQuietOption(*search, o->quiet);
    addExample(*search, flaws ? "kestrix-cli frames flaws night.ifrm --delete clean.ifrm"
                              : "kestrix-cli frames dups night.ifrm --delete once.ifrm");
    onRun(*search, [o, flaws] {
        ProgressLine progress(o->quiet);
        FrameStore frames;
        loadFrames(frames, o->file, progress);
        progress.start(flaws ? "Looking for flaws" : "Looking for duplicates", frames.count());
        const std::vector<int> found =
            flaws ? findFlawedFrames(frames, o->flaws, progress.frameIndex())
                  : findDuplicateFrames(frames, progress.frameIndex());
        progress.complete();
        if (found.empty())
            std::cout << (flaws ? "No Flaws Found" : "No Duplicates Found") << "\n";
        else
            std::cout << listText(found) << "\n";
        if (!o->output.empty()) {
            // From the highest position down, so that the positions still to delete stay valid.
            for (size_t i = found.size(); i-- > 0;)
                frames.remove(found[i]);
            saveFrames(frames, o->output, progress);
        }
        return 0;
    });
}

void defineAverage(CLI::App& command, const std::shared_ptr<FramesOptions>& o) {
    CLI::App* average = addFramesCommand(command, "average",
                                         "Writes the mean of all frames as BMP, PNG or JPEG", o);
    average->add_option("OUT", o->output, "Picture to write: .bmp, .png or .jpg")->required();
    addQualityOption(*average, o->quality);
    ProgressLine::addQuietOption(*average, o->quiet);
    addExample(*average, "kestrix-cli frames average night.ifrm mean.png");
    onRun(*average, [o] {
        checkPictureName(o->output);
        ProgressLine progress(o->quiet);
        FrameStore frames;
        loadFrames(frames, o->file, progress);
        progress.start("Averaging", frames.count());
        Bitmap mean;
        averageFrames(frames, mean, progress.frameIndex());
        progress.complete();
        if (mean.empty())
            throw Error("No frames to average");
        saveImageFile(mean, o->output, o->quality);
        return 0;
    });
}

void defineFrames(CLI::App& command) {
    command.description("Packs, unpacks, describes, cleans and averages frames files (.ifrm).");
    command.require_subcommand(1);
    auto o = std::make_shared<FramesOptions>();
    definePack(command, o);
    defineUnpack(command, o);
    defineInfo(command, o);
    defineSearch(command, o, true);
    defineSearch(command, o, false);
    defineAverage(command, o);
    addExample(command, "kestrix-cli frames flaws night.ifrm --delete clean.ifrm");
}

const Registration kFramesRegistration({"frames", defineFrames});

} // namespace

} // namespace kestrix::cli
