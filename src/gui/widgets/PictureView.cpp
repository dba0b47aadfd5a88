#include "gui/widgets/PictureView.h"

#include <QPainter>

namespace kestrix::gui {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::setPicture(const Bitmap& bitmap) {
    picture_ = bitmap;
    refresh();
}

void PictureView::refresh() {
    shown24_ = Bitmap();
    if (picture_.pixelFormat() != PixelFormat::Bit24 && !picture_.empty()) {
        shown24_ = picture_;
        shown24_.convertTo24();
    }
    update();
    emit pictureChanged();
}

QImage PictureView::image() const {
    const Bitmap& b = shown24_.empty() ? picture_ : shown24_;
    if (b.empty())
        return {};
    return QImage(b.scanLine(0), b.width(), b.height(), static_cast<qsizetype>(b.stride()),
                  QImage::Format_BGR888);
}

QSize PictureView::sizeHint() const {
    return {picture_.width(), picture_.height()};
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter g(this);
    const QImage img = image();
    if (img.isNull()) {
        g.fillRect(rect(), palette().color(QPalette::Window));
        return;
    }
    g.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!keepProportions_) {
        g.drawImage(rect(), img);
        return;
    }
    g.fillRect(rect(), palette().color(QPalette::Window));
    QRect fitted(QPoint(0, 0), img.size().scaled(size(), Qt::KeepAspectRatio));
    fitted.moveCenter(rect().center());
    g.drawImage(fitted, img);
}

void PictureView::setKeepProportions(bool keep) {
    keepProportions_ = keep;
    update();
}

} // namespace kestrix::gui
