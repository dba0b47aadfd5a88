#include "gui/movie/MovieCommands.h"

#include "core/movie/AviExport.h"
#include "gui/acquire/AcquisitionPresenter.h"

#include <QDir>
#include <QProgressBar>
#include <algorithm>

namespace kestrix::gui {

MovieCommands::MovieCommands(FrameStore& frameStore, AcquisitionPresenter& acquisition,
                             QProgressBar& gauge, Dialogs& dialogs, const AppSettings& settings,
                             const CommandRunner& run, QObject* parent)
    : QObject(parent), store_(frameStore), acquisition_(acquisition), gauge_(gauge),
      dialogs_(dialogs),
      settings_(settings), actions_{commandAction(this, "SaveAviMnu", "Save &Avi File...", run,
                                                  [this] { saveAviCommand(); })} {}

void MovieCommands::saveAviCommand() {
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
        exportAvi(*name, settings_.quality);
}

void MovieCommands::exportAvi(const std::string& fileName, int quality) {
    BusyCursor busy;
    gauge_.setMaximum(std::max(acquisition_.maxFrames(), 1));
    kestrix::exportAvi(fileName, store_, acquisition_.framesPerSecond(), quality,
                       [this](int value) {
                           gauge_.setValue(value);
                           gauge_.repaint();
                       });
}

} // namespace kestrix::gui
