#include "FrameFileCommands.h"

#include "acquire/AcquisitionPresenter.h"
#include "decode/GifDecoder.h"
#include "frames/FramesFile.h"
#include "gif/AnimatedGifWriter.h"
#include "movie/AviExport.h"

#include <QApplication>
#include <QCursor>
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

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

FrameFileCommands::FrameFileCommands(TBitmapListEx& frameStore, AcquisitionPresenter& acquisition,
                                     QProgressBar& gauge, Dialogs& dialogs, QObject* parent)
    : QObject(parent), store_(frameStore), acquisition_(acquisition), gauge_(gauge),
      dialogs_(dialogs) {}

void FrameFileCommands::gaugeProgress(int value) {
    gauge_.setValue(value);
    gauge_.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void FrameFileCommands::SaveFramesCommand() {
    if (auto name = dialogs_.saveFile(framesDialog("Save Image Frames", true)))
        SaveFramesFile(*name);
}

void FrameFileCommands::LoadFramesCommand() {
    if (auto name = dialogs_.openFile(framesDialog("Load Image Frames", false)))
        LoadFramesFile(*name);
}

void FrameFileCommands::SaveFramesFile(const std::string& fileName) {
    SaveOutcome outcome;
    {
        BusyCursor busy;
        gauge_.setMaximum(100);
        outcome = SaveToFile(store_, fileName, [this](int p) { gaugeProgress(p); });
        gauge_.setValue(0);
    }
    if (outcome == SaveOutcome::OutOfDiskSpace)
        dialogs_.showMessage("Out Of Disk Space", MessageIcon::Warning);
}

void FrameFileCommands::LoadFramesFile(const std::string& fileName) {
    acquisition_.setFrameIndex(0);
    BusyCursor busy;
    gauge_.setMaximum(100);
    acquisition_.setMaxFrames(0);
    try {
        LoadFromFile(store_, fileName, [this](int p) { gaugeProgress(p); });
    } catch (...) {
        // Whatever the store holds now, the counter must agree with it.
        acquisition_.setMaxFrames(store_.Count());
        gauge_.setValue(0);
        throw;
    }
    acquisition_.setMaxFrames(store_.Count());
    acquisition_.cycle().ShowFrame(acquisition_.frameIndex());
    gauge_.setValue(0);
}

void FrameFileCommands::SaveAVICommand(int quality) {
    if (acquisition_.maxFrames() == 0) {
        dialogs_.showMessage("No Movie To Save", MessageIcon::Warning);
        return;
    }
    FileDialogOptions o;
    o.title = "Save AVI Movie File";
    o.fileName = "*.avi";
    o.filter = "Windows Movie (AVI)|*.avi";
    o.initialDir = QDir::currentPath().toStdString();
    o.overwritePrompt = true;
    if (auto name = dialogs_.saveFile(o))
        ExportAVI(*name, quality);
}

void FrameFileCommands::ExportAVI(const std::string& fileName, int quality) {
    BusyCursor busy;
    gauge_.setMaximum(std::max(acquisition_.maxFrames(), 1));
    kestrix::ExportAVI(fileName, store_, acquisition_.framesPerSecond(), quality,
                       [this](int value) {
                           gauge_.setValue(value);
                           gauge_.repaint();
                       });
}

void FrameFileCommands::SaveAnimatedGIFCommand() {
    // Checked before anything else: an empty animation creates no file.
    if (store_.Count() == 0) {
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
    const int delayMs = DelayMsForFps(acquisition_.framesPerSecond());
    if (auto name = dialogs_.saveFile(o))
        ExportAnimatedGIF(*name, store_, delayMs, [this](int p) { gaugeProgress(p); });
}

void FrameFileCommands::LoadAnimatedGIFCommand() {
    FileDialogOptions o;
    o.filter = "All Pictures|*.gif;*.bmp;*.jpg;*.jpeg;*.png|GIF Files|*.gif|All Files|*.*";
    o.initialDir = QDir::currentPath().toStdString();
    if (auto name = dialogs_.openFile(o))
        LoadAnimatedGIF(*name);
}

void FrameFileCommands::LoadAnimatedGIF(const std::string& fileName) {
    store_.Clear();
    try {
        loadGifFrames(fileName, store_);
    } catch (...) {
        // The store was emptied (or holds what came before the failure): the counter follows it.
        acquisition_.setMaxFrames(store_.Count());
        throw;
    }
    acquisition_.setMaxFrames(store_.Count());
    acquisition_.cycle().ShowFrame(acquisition_.frameIndex());
}

} // namespace kestrix::gui
