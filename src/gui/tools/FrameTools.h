// The frame tools of the window: "Remove Flaws", "Remove Duplicates", "Average All Frames" and
// the hidden diagnostic readout. They work on the frame store in place, with the gauge as their
// only feedback, and bind their own buttons.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/settings/AppSettings.h"
#include "core/ui/Dialogs.h"
#include "gui/CommandActions.h"

#include <QObject>
#include <functional>

class QProgressBar;

namespace kestrix::gui {

class AcquisitionPresenter;
class AnimationPage;
class ImageToolsPage;
class PictureDisplay;

class FrameTools : public QObject {
    Q_OBJECT
public:
    FrameTools(FrameStore& frameStore, AcquisitionPresenter& acquisition, PictureDisplay& display,
               QProgressBar& gauge, Dialogs& dialogs, const AppSettings& settings,
               std::function<void(const QString&)> setCaption, QObject* parent = nullptr);

    // "Remove Flaws", "Remove Duplicates" and the readout button of the Animation page, and
    // "Average All Frames" of the Image Tools page.
    void bindButtons(const AnimationPage& animation, const ImageToolsPage& imageTools,
                     const CommandRunner& run);

    void removeFlaws();
    void removeDuplicates();
    void averageAllFrames();
    // The readout: the difference to the frame before and the black rows, in the caption.
    void showDifference();

private:
    // Asks, then deletes the found frames from the highest position down.
    void offerDeletion(const std::vector<int>& found, const std::string& question);
    void progress(int value);

    FrameStore& store_;
    AcquisitionPresenter& acquisition_;
    PictureDisplay& display_;
    QProgressBar& gauge_;
    Dialogs& dialogs_;
    const AppSettings& settings_;
    std::function<void(const QString&)> setCaption_;
};

} // namespace kestrix::gui
