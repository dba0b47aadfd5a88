// Binds the "Size" page: the size fields follow every image shown, the spin button and the units
// change them, "Resize" previews the new size on the unresized picture and "Resize All" resizes
// every frame.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/tools/SizeFields.h"
#include "core/ui/Dialogs.h"
#include "gui/CommandActions.h"

#include <QObject>
#include <functional>

class QProgressBar;

namespace kestrix::gui {

class AcquisitionPresenter;
class PictureDisplay;
class PicturePanel;
class SizePage;

class SizeCommands : public QObject {
    Q_OBJECT
public:
    SizeCommands(SizePage& page, PicturePanel& picture, PictureDisplay& display,
                 FrameStore& frameStore, AcquisitionPresenter& acquisition, QProgressBar& gauge,
                 Dialogs& dialogs, const CommandRunner& run, QObject* parent = nullptr);

    SizeFields& fields() { return fields_; }
    void resetSizeFields();
    void showSizeFields();
    void computeNewSize();
    void useActualSize();
    void resizeShown();
    void resizeAllFrames();

private:
    SizeUnits units() const;
    ResampleFilter filter() const;
    void step(int direction);

    SizePage& page_;
    PicturePanel& picture_;
    PictureDisplay& display_;
    FrameStore& store_;
    AcquisitionPresenter& acquisition_;
    QProgressBar& gauge_;
    Dialogs& dialogs_;
    SizeFields fields_;
};

} // namespace kestrix::gui
