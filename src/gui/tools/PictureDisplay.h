// The picture on display and its brightness, contrast and gamma: showImage is the one way a
// bitmap reaches the picture view. It keeps the unadjusted copy (shownOriginal) from which every
// preview is computed.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/image/Bitmap.h"
#include "core/ui/Dialogs.h"
#include "core/util/FormatSettings.h"

#include <QObject>

class QProgressBar;
class QSlider;

namespace kestrix::gui {

class ImageToolsPage;
class PictureView;

struct BCGValues {
    double b = 0.5;
    double c = 0.5;
    double g = 0.5;
};

class PictureDisplay : public QObject {
    Q_OBJECT
public:
    PictureDisplay(ImageToolsPage& page, PictureView& image, QProgressBar& gauge,
                   FrameStore& frameStore, Dialogs& dialogs, const FormatSettings& fs,
                   QObject* parent = nullptr);

    Bitmap& shownOriginal() { return shownOriginal_; }
    const Bitmap& displayed() const;

    // Shows `bitmap`: adjusted when "Apply To All Frames" is checked (which converts `bitmap`
    // to 24 bits), otherwise as it is with the bars reset silently.
    void showImage(Bitmap& bitmap);
    BCGValues readBcg() const;
    void showBcgValues(const BCGValues& v);
    void brightnessBarChange();
    // Sets a bar to its middle without re-rendering.
    void resetTrackBar(QSlider* bar);
    void resetBcg(bool redraw);
    void resetBcgBtnClick();
    void bcgAllBtnClick();

private:
    ImageToolsPage& page_;
    PictureView& image_;
    QProgressBar& gauge_;
    FrameStore& store_;
    Dialogs& dialogs_;
    const FormatSettings& fs_;
    Bitmap shownOriginal_;
};

} // namespace kestrix::gui
