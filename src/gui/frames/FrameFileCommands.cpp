#include "gui/frames/FrameFileCommands.h"

#include "core/decode/GifDecoder.h"
#include "core/frames/FramesFile.h"
#include "core/gif/AnimatedGifWriter.h"
#include "gui/acquire/AcquisitionPresenter.h"

#include <QApplication>
#include <QDir>
#include <QProgressBar>

namespace kestrix::gui {

namespace {

// The filter shows frames files by their real extension, ".ifrm".
constexpr const char* kFramesFilter = "Image Frames|*.ifrm|All Files|*.*";

FileDialogOptions framesDialog(const char* title, bool save) {
    FileDialogOptions o;
    o.title = title;
    o.fileName = "*.ifrm";
    o.filter = kFramesFilter;
    o.initialDir = QDir::currentPath().toStdString();
    o.overwritePrompt = save;
    return o;
}

} // namespace

FrameFileCommands::FrameFileCommands(FrameStore& frameStore, AcquisitionPresenter& acquisition,
                                     QProgressBar& gauge, Dialogs& dialogs,
                                     const CommandRunner& run, QObject* parent)
    : QObject(parent), store_(frameStore), acquisition_(acquisition), gauge_(gauge),
      dialogs_(dialogs), actions_{commandAction(this, "LoadFrames1", "Load Frames...", run,
                                                [this] { loadFramesCommand(); }),
                                  commandAction(this, "SaveFrames1", "Save Frames...", run,
                                                [this] { saveFramesCommand(); }),
                                  commandAction(this, "SaveAnimatedGIFMnu", "Save Animated GIF...",
                                                run, [this] { saveAnimatedGifCommand(); }),
                                  commandAction(this, "LoadAnimatedGIF1", "Load Animated GIF...",
                                                run, [this] { loadAnimatedGifCommand(); })} {}

void FrameFileCommands::gaugeProgress(int value) {
    gauge_.setValue(value);
    gauge_.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool FrameFileCommands::framesUnsaved() const {
    return store_.count() > 0 && store_.changes() != savedChanges_;
}

bool FrameFileCommands::askSaveFrames() {
    if (!framesUnsaved())
        return true;
    switch (dialogs_.askYesNoCancel("Save captured frames?")) {
    case Answer::Yes:
        saveFramesCommand();
        return !framesUnsaved();
    case Answer::No:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

void FrameFileCommands::saveFramesCommand() {
    if (auto name = dialogs_.saveFile(framesDialog("Save Image Frames", true)))
        saveFramesFile(*name);
}

void FrameFileCommands::loadFramesCommand() {
    if (!askSaveFrames())
        return;
    if (auto name = dialogs_.openFile(framesDialog("Load Image Frames", false)))
        loadFramesFile(*name);
}

void FrameFileCommands::saveFramesFile(const std::string& fileName) {
    SaveOutcome outcome;
    {
        BusyCursor busy;
        gauge_.setMaximum(100);
        outcome = saveToFile(store_, fileName, [this](int p) { gaugeProgress(p); });
        gauge_.setValue(0);
    }
    if (outcome == SaveOutcome::OutOfDiskSpace)
        dialogs_.showMessage("Out Of Disk Space", MessageIcon::Warning);
    else
        savedChanges_ = store_.changes();
}

void FrameFileCommands::loadFramesFile(const std::string& fileName) {
    acquisition_.setFrameIndex(0);
    BusyCursor busy;
    gauge_.setMaximum(100);
    acquisition_.setMaxFrames(0);
    try {
        loadFromFile(store_, fileName, [this](int p) { gaugeProgress(p); });
    } catch (...) {
        // Whatever the store holds now, the counter must agree with it.
        acquisition_.setMaxFrames(store_.count());
        gauge_.setValue(0);
        throw;
    }
    acquisition_.setMaxFrames(store_.count());
    acquisition_.cycle().showFrame(acquisition_.frameIndex());
    gauge_.setValue(0);
    savedChanges_ = store_.changes();
}

void FrameFileCommands::saveAnimatedGifCommand() {
    // Checked before anything else: an empty animation creates no file.
    if (store_.count() == 0) {
        dialogs_.showMessage("No Movie To Save", MessageIcon::Warning);
        return;
    }
    FileDialogOptions o;
    o.title = "Save Animated GIF";
    o.fileName = "*.gif";
    o.filter = "GIF Files|*.gif|All Files|*.*";
    o.initialDir = QDir::currentPath().toStdString();
    o.overwritePrompt = true;
    gauge_.setMaximum(100);
    const int delayMs = delayMsForFps(acquisition_.framesPerSecond());
    if (auto name = dialogs_.saveFile(o))
        exportAnimatedGif(*name, store_, delayMs, [this](int p) { gaugeProgress(p); });
}

void FrameFileCommands::loadAnimatedGifCommand() {
    if (!askSaveFrames())
        return;
    FileDialogOptions o;
    o.filter = "All Pictures|*.gif;*.bmp;*.jpg;*.jpeg;*.png|GIF Files|*.gif|All Files|*.*";
    o.initialDir = QDir::currentPath().toStdString();
    if (auto name = dialogs_.openFile(o))
        loadAnimatedGif(*name);
}

void FrameFileCommands::loadAnimatedGif(const std::string& fileName) {
    store_.clear();
    try {
        loadGifFrames(fileName, store_);
    } catch (...) {
        // The store was emptied (or holds what came before the failure): the counter follows it.
        acquisition_.setMaxFrames(store_.count());
        throw;
    }
    acquisition_.setMaxFrames(store_.count());
    acquisition_.cycle().showFrame(acquisition_.frameIndex());
    savedChanges_ = store_.changes();
}

} // namespace kestrix::gui
