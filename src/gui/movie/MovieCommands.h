// The File menu's movie exports: the animation written as a movie at the playback speed, with the
// progress gauge. It owns the menu actions of these commands.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/movie/MovieWriter.h"
#include "core/settings/AppSettings.h"
#include "core/ui/Dialogs.h"
#include "gui/CommandActions.h"

#include <QObject>
#include <string>

class QAction;
class QProgressBar;

namespace kestrix::gui {

class AcquisitionPresenter;

class MovieCommands : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction* saveAvi;
        QAction* saveMp4;
    };

    MovieCommands(FrameStore& frameStore, AcquisitionPresenter& acquisition, QProgressBar& gauge,
                  Dialogs& dialogs, const AppSettings& settings, const CommandRunner& run,
                  QObject* parent = nullptr);

    const Actions& actions() const { return actions_; }

    // "Save &Avi File...": the animation as an AVI movie at the AVI quality setting.
    void saveAviCommand();
    // "Save MP4 Movie...": the animation as an H.264 MP4 movie at the MP4 quality setting.
    void saveMp4Command();
    void exportMovie(MovieFormat format, const std::string& fileName, int quality);

private:
    // The file the user chose, or none when the animation is empty or the dialog was cancelled.
    std::optional<std::string> chooseFile(FileDialogOptions options);

    FrameStore& store_;
    AcquisitionPresenter& acquisition_;
    QProgressBar& gauge_;
    Dialogs& dialogs_;
    const AppSettings& settings_;
    Actions actions_;
};

} // namespace kestrix::gui
