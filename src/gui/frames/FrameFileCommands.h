// The File menu's frame commands: saving and loading frames files and animated GIFs, with the
// progress gauge and the busy cursor. It owns the menu actions of these commands.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/ui/Dialogs.h"
#include "gui/CommandActions.h"

#include <QObject>
#include <functional>
#include <string>

class QAction;
class QProgressBar;

namespace kestrix::gui {

class AcquisitionPresenter;

class FrameFileCommands : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction* loadFrames;
        QAction* saveFrames;
        QAction* saveAnimatedGif;
        QAction* loadAnimatedGif;
    };

    FrameFileCommands(FrameStore& frameStore, AcquisitionPresenter& acquisition,
                      QProgressBar& gauge, Dialogs& dialogs, const CommandRunner& run,
                      QObject* parent = nullptr);

    const Actions& actions() const { return actions_; }

    // Frames captured or edited since they were last saved or loaded.
    bool framesUnsaved() const;
    // Asks "Save captured frames?" when there are such frames: Yes saves through "Save
    // Frames..."; answers whether the caller may go on (No, or a save that went through).
    bool askSaveFrames();

    void saveFramesCommand();
    void loadFramesCommand();
    void saveFramesFile(const std::string& fileName);
    // Also what a .ifrm file named on the command line opens with.
    void loadFramesFile(const std::string& fileName);

    // Sets the gauge and lets the window repaint; the callback long operations report through.
    void gaugeProgress(int value);

    // "Save Animated GIF..." and "Load Animated GIF...".
    void saveAnimatedGifCommand();
    void loadAnimatedGifCommand();
    void loadAnimatedGif(const std::string& fileName);

private:
    FrameStore& store_;
    AcquisitionPresenter& acquisition_;
    QProgressBar& gauge_;
    Dialogs& dialogs_;
    Actions actions_;
    uint64_t savedChanges_ = 0;
};

} // namespace kestrix::gui
