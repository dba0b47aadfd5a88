// The File menu's frame commands: saving and loading frames files (and, through the same
// helpers, the movie and animated GIF exports), with the progress gauge and the busy cursor.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/ui/Dialogs.h"

#include <QObject>
#include <functional>
#include <string>

class QProgressBar;

namespace kestrix::gui {

class AcquisitionPresenter;

class FrameFileCommands : public QObject {
    Q_OBJECT
public:
    FrameFileCommands(FrameStore& frameStore, AcquisitionPresenter& acquisition,
                      QProgressBar& gauge, Dialogs& dialogs, QObject* parent = nullptr);

    void saveFramesCommand();
    void loadFramesCommand();
    void saveFramesFile(const std::string& fileName);
    // Also what a .ifrm file named on the command line opens with.
    void loadFramesFile(const std::string& fileName);

    // Sets the gauge and lets the window repaint; the callback long operations report through.
    void gaugeProgress(int value);

    // "Save &Avi File...": the animation as a movie at the playback speed and AVI quality.
    void saveAviCommand(int quality);
    void exportAvi(const std::string& fileName, int quality);

    // "Save Animated GIF..." and "Load Animated GIF...".
    void saveAnimatedGifCommand();
    void loadAnimatedGifCommand();
    void loadAnimatedGif(const std::string& fileName);

private:
    FrameStore& store_;
    AcquisitionPresenter& acquisition_;
    QProgressBar& gauge_;
    Dialogs& dialogs_;
};

// Shows the busy cursor for its lifetime.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace kestrix::gui
