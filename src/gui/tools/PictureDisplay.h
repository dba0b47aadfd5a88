// The picture on display and its brightness, contrast and gamma: ShowImage is the one way a
// bitmap reaches Image1. It keeps the unadjusted copy (ShownOriginal) from which every preview
// is computed.
#pragma once

#include "frames/BitmapList.h"
#include "image/Bitmap.h"
#include "ui/Dialogs.h"
#include "util/FormatSettings.h"

#include <QObject>

class QProgressBar;
class QSlider;

namespace kestrix::gui {

class ImageToolsPage;
class PictureView;

struct BCGValues {
    double B = 0.5;
    double C = 0.5;
    double G = 0.5;
};

class PictureDisplay : public QObject {
    Q_OBJECT
public:
    PictureDisplay(ImageToolsPage& page, PictureView& image, QProgressBar& gauge,
                   TBitmapListEx& frameStore, Dialogs& dialogs, const FormatSettings& fs,
                   QObject* parent = nullptr);

    Bitmap& ShownOriginal() { return shownOriginal_; }
    const Bitmap& displayed() const;

    // Shows `bitmap`: adjusted when "Apply To All Frames" is checked (which converts `bitmap`
    // to 24 bits), otherwise as it is with the bars reset silently.
    void ShowImage(Bitmap& bitmap);
    BCGValues ReadBCG() const;
    void ShowBCGValues(const BCGValues& v);
    void BrightnessBarChange();
    // Sets a bar to its middle without re-rendering.
    void ResetTrackBar(QSlider* bar);
    void ResetBCG(bool redraw);
    void ResetBCGBtnClick();
    void BCGAllBtnClick();

private:
    ImageToolsPage& page_;
    PictureView& image_;
    QProgressBar& gauge_;
    TBitmapListEx& store_;
    Dialogs& dialogs_;
    const FormatSettings& fs_;
    Bitmap shownOriginal_;
};

} // namespace kestrix::gui
