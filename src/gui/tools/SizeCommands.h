// Binds the "Size" page: the size fields follow every image shown, the spin button and the units
// change them, "Resize" previews the new size on the unresized picture and "Resize All" resizes
// every frame.
#pragma once

#include "frames/BitmapList.h"
#include "tools/SizeFields.h"
#include "ui/Dialogs.h"

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
                 TBitmapListEx& frameStore, AcquisitionPresenter& acquisition, QProgressBar& gauge,
                 Dialogs& dialogs, QObject* parent = nullptr);

    SizeFields& fields() { return fields_; }
    void ResetSizeFields();
    void ShowSizeFields();
    void ComputeNewSize();
    void UseActualSize();
    void ResizeShown();
    void ResizeAllFrames();

private:
    SizeUnits units() const;
    int filter() const;
    void step(int direction);

    SizePage& page_;
    PicturePanel& picture_;
    PictureDisplay& display_;
    TBitmapListEx& store_;
    AcquisitionPresenter& acquisition_;
    QProgressBar& gauge_;
    Dialogs& dialogs_;
    SizeFields fields_;
};

} // namespace kestrix::gui
