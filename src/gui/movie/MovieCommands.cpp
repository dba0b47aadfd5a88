#include "gui/movie/MovieCommands.h"

#include "core/movie/MovieExport.h"
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
                                                  [this] { saveAviCommand(); }),
                                    commandAction(this, "SaveMp4Mnu", "Save MP4 Movie...", run,
                                                  [this] { saveMp4Command(); })} {}

std::optional<std::string> MovieCommands::chooseFile(FileDialogOptions options) {
    if (acquisition_.maxFrames() == 0) {
        dialogs_.showMessage("No Movie To Save", MessageIcon::Warning);
        return std::nullopt;
    }
    options.initialDir = QDir::currentPath().toStdString();
    options.overwritePrompt = true;
    return dialogs_.saveFile(options);
}

void MovieCommands::saveAviCommand() {
    FileDialogOptions o;
    o.title = "Save AVI Movie File";
    o.fileName = "*.avi";
    o.filter = "Windows Movie (AVI)|*.avi";
    if (auto name = chooseFile(o))
        exportMovie(MovieFormat::Avi, *name, settings_.quality);
}

void MovieCommands::saveMp4Command() {
    FileDialogOptions o;
    o.title = "Save MP4 Movie File";
    o.fileName = "*.mp4";
    o.filter = "MP4 Movie (H.264)|*.mp4";
    o.defaultExtension = "mp4";
    if (auto name = chooseFile(o))
        exportMovie(MovieFormat::Mp4, *name, settings_.mp4Quality);
}

void MovieCommands::exportMovie(MovieFormat format, const std::string& fileName, int quality) {
    BusyCursor busy;
    gauge_.setMaximum(std::max(acquisition_.maxFrames(), 1));
    kestrix::exportMovie(format, fileName, store_, {acquisition_.framesPerSecond(), quality, false},
                         [this](int value) {
                             gauge_.setValue(value);
                             gauge_.repaint();
                         });
}

} // namespace kestrix::gui
