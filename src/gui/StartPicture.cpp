#include "gui/StartPicture.h"

#include "gui/BitmapQt.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kestrix::gui {

Bitmap startPicture() {
    QImage image(kStartPictureWidth, kStartPictureHeight, QImage::Format_RGB32);
    QPainter g(&image);
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, kStartPictureHeight);
    sky.setColorAt(0, QColor(18, 32, 74));
    sky.setColorAt(0.6, QColor(214, 112, 64));
    sky.setColorAt(1, QColor(250, 196, 110));
    g.fillRect(image.rect(), sky);

    QPainterPath far;
    far.moveTo(0, 360);
    far.lineTo(120, 300);
    far.lineTo(210, 330);
    far.lineTo(330, 250);
    far.lineTo(360, 246);
    far.lineTo(470, 320);
    far.lineTo(639, 290);
    far.lineTo(639, 433);
    far.lineTo(0, 433);
    g.fillPath(far, QColor(70, 52, 78));
    QPainterPath near;
    near.moveTo(0, 433);
    near.lineTo(0, 400);
    near.lineTo(260, 372);
    near.lineTo(520, 394);
    near.lineTo(639, 380);
    near.lineTo(639, 433);
    g.fillPath(near, QColor(38, 30, 48));
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(235, 235, 240, 150));
    g.drawEllipse(QPointF(352, 226), 26, 14);
    g.drawEllipse(QPointF(376, 204), 20, 12);

    g.setPen(QColor(255, 255, 255));
    QFont title("Sans", 40, QFont::Bold);
    g.setFont(title);
    g.drawText(QRect(0, 60, kStartPictureWidth, 70), Qt::AlignCenter, "Kestrix");
    QFont sub("Sans", 13);
    g.setFont(sub);
    g.drawText(QRect(0, 128, kStartPictureWidth, 30), Qt::AlignCenter,
               "Pick a link, then press Manual Load or Auto Load");
    g.end();
    return bitmapFromImage(image);
}

} // namespace kestrix::gui
