// The picture view: shows the displayed bitmap, drawn stretched to the control's size, or, with
// keepProportions, as large as fits without distortion and centred. Its rows are handed to Qt as
// they are, without a pixel-by-pixel copy.
#pragma once

#include "core/image/Bitmap.h"

#include <QWidget>

namespace kestrix::gui {

class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // The displayed bitmap; call refresh() after changing it.
    Bitmap& picture() { return picture_; }
    const Bitmap& picture() const { return picture_; }
    void setPicture(const Bitmap& bitmap);
    void refresh();
    // The picture as Qt sees it (a view of the bitmap's rows when it is 24-bit).
    QImage image() const;
    QSize sizeHint() const override;
    bool keepProportions() const { return keepProportions_; }
    void setKeepProportions(bool keep);

signals:
    // The picture was replaced or changed (its size may differ).
    void pictureChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Bitmap picture_;
    Bitmap shown24_; // a 24-bit copy when the picture has another format
    bool keepProportions_ = false;
};

} // namespace kestrix::gui
