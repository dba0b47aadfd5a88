#include "gui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace kestrix::gui::icons {

namespace {

const QColor kNavy(0, 0, 128);
const QColor kFolder(230, 190, 80);
const QColor kFolderDark(170, 130, 40);

QPixmap canvas(int size) {
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

void drawFolder(QPainter& g, bool open) {
    g.setPen(kFolderDark);
    g.setBrush(kFolder);
    g.drawRect(1, 3, 11, 9);
    g.drawRect(1, 2, 5, 2);
    if (open) {
        g.setBrush(QColor(250, 220, 120));
        g.drawPolygon(QPolygonF({{3, 6}, {13, 6}, {11, 12}, {1, 12}}));
    }
}

void drawGlobe(QPainter& g, bool open) {
    g.setPen(kNavy);
    g.setBrush(open ? QColor(120, 180, 255) : QColor(70, 130, 200));
    g.drawEllipse(1, 1, 11, 11);
    g.drawLine(1, 6, 12, 6);
    g.drawEllipse(4, 1, 5, 11);
}

void drawLink(QPainter& g) {
    g.setPen(QColor(60, 60, 60));
    g.setBrush(Qt::white);
    g.drawRect(1, 2, 11, 9);
    g.fillRect(3, 4, 8, 5, QColor(80, 150, 80));
    g.setBrush(QColor(250, 220, 60));
    g.setPen(Qt::NoPen);
    g.drawEllipse(8, 4, 3, 3);
}

QPolygonF arrowPolygon(Counter which, int s) {
    const double m = s / 2.0;
    switch (which) {
    case Counter::Left:
    case Counter::Start:
        return QPolygonF({{s * 0.7, s * 0.25}, {s * 0.7, s * 0.75}, {s * 0.3, m}});
    case Counter::Right:
    case Counter::End:
        return QPolygonF({{s * 0.3, s * 0.25}, {s * 0.3, s * 0.75}, {s * 0.7, m}});
    }
    return {};
}

} // namespace

QPixmap nodePicture(int index) {
    QPixmap p = canvas(14);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0:
        drawGlobe(g, false);
        break;
    case 1:
        drawGlobe(g, true);
        break;
    case 2:
        drawFolder(g, false);
        break;
    case 3:
        drawFolder(g, true);
        break;
    default:
        drawLink(g);
        break;
    }
    return p;
}

QIcon counterButton(Counter which) {
    const int s = 16;
    QPixmap p = canvas(s);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(Qt::black);
    g.drawPolygon(arrowPolygon(which, s));
    if (which == Counter::Start)
        g.fillRect(QRectF(s * 0.22, s * 0.25, 2, s * 0.5), Qt::black);
    if (which == Counter::End)
        g.fillRect(QRectF(s * 0.72, s * 0.25, 2, s * 0.5), Qt::black);
    return QIcon(p);
}

QIcon tool(Tool which) {
    const int s = 20;
    QPixmap p = canvas(s);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QPen pen(kNavy, 2);
    g.setPen(pen);
    switch (which) {
    case Tool::AutoLoad:
        g.drawArc(3, 3, 14, 14, 30 * 16, 300 * 16);
        g.setBrush(kNavy);
        g.drawPolygon(QPolygonF({{15, 2}, {18, 7}, {13, 7}}));
        break;
    case Tool::ManualLoad:
    case Tool::Play:
        g.setBrush(which == Tool::Play ? QColor(0, 140, 0) : kNavy);
        g.setPen(Qt::NoPen);
        g.drawPolygon(QPolygonF({{6, 3}, {16, 10}, {6, 17}}));
        break;
    case Tool::AbortLoad:
    case Tool::AbortAnimation:
        g.setBrush(QColor(200, 0, 0));
        g.setPen(Qt::NoPen);
        g.drawRect(4, 4, 12, 12);
        break;
    case Tool::MoveUp:
        g.drawLine(10, 16, 10, 4);
        g.drawLine(10, 4, 5, 9);
        g.drawLine(10, 4, 15, 9);
        break;
    case Tool::MoveDown:
        g.drawLine(10, 4, 10, 16);
        g.drawLine(10, 16, 5, 11);
        g.drawLine(10, 16, 15, 11);
        break;
    case Tool::Delete:
    case Tool::DeleteFrame:
        g.setPen(QPen(QColor(200, 0, 0), 2.5));
        g.drawLine(5, 5, 15, 15);
        g.drawLine(15, 5, 5, 15);
        break;
    case Tool::EraseAnimation:
        g.setPen(QPen(QColor(200, 0, 0), 2));
        g.drawRect(4, 4, 12, 12);
        g.drawLine(4, 4, 16, 16);
        break;
    case Tool::Search:
        g.drawEllipse(3, 3, 10, 10);
        g.setPen(QPen(kNavy, 3));
        g.drawLine(12, 12, 17, 17);
        break;
    case Tool::InsertFolder: {
        g.translate(3, 3);
        drawFolder(g, false);
        break;
    }
    case Tool::InsertLink:
    case Tool::LinkDrag:
        g.translate(3, 3);
        drawLink(g);
        break;
    case Tool::Loop:
        g.drawArc(3, 5, 14, 10, 0, 360 * 16);
        g.setBrush(kNavy);
        g.drawPolygon(QPolygonF({{14, 2}, {18, 5}, {14, 8}}));
        break;
    }
    return QIcon(p);
}

QIcon application() {
    QPixmap p = canvas(64);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setBrush(QColor(30, 60, 120));
    g.setPen(Qt::NoPen);
    g.drawRoundedRect(2, 2, 60, 60, 12, 12);
    g.setBrush(QColor(240, 170, 60));
    QPainterPath wing;
    wing.moveTo(10, 40);
    wing.quadTo(32, 10, 54, 22);
    wing.quadTo(36, 26, 30, 46);
    wing.closeSubpath();
    g.drawPath(wing);
    g.setBrush(Qt::white);
    g.drawEllipse(42, 18, 6, 6);
    return QIcon(p);
}

} // namespace kestrix::gui::icons
