#include "pane_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace dravonel {

namespace {

constexpr int kSize = 32;

void drawPage(QPainter& p, QRectF r) {
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(120, 120, 160), 1));
    for (double y = r.top() + 4; y < r.bottom() - 2; y += 3)
        p.drawLine(QPointF(r.left() + 2.5, y), QPointF(r.right() - 2.5, y));
}

void drawArrow(QPainter& p) {
    QPainterPath arrow;
    arrow.moveTo(18, 13);
    arrow.lineTo(24, 13);
    arrow.lineTo(24, 8);
    arrow.lineTo(31, 16);
    arrow.lineTo(24, 24);
    arrow.lineTo(24, 19);
    arrow.lineTo(18, 19);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 90, 20), 1));
    p.setBrush(QColor(60, 170, 60));
    p.drawPath(arrow);
}

template <typename Draw> QIcon drawn(Draw draw) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return QIcon(pixmap);
}

} // namespace

QIcon addIcon() {
    return drawn([](QPainter& p) {
        drawPage(p, QRectF(3.5, 5.5, 13, 20));
        drawArrow(p);
    });
}

QIcon addAllIcon() {
    return drawn([](QPainter& p) {
        drawPage(p, QRectF(7.5, 2.5, 11, 17));
        drawPage(p, QRectF(4.5, 6.5, 11, 17));
        drawPage(p, QRectF(1.5, 10.5, 11, 17));
        drawArrow(p);
    });
}

QIcon addAllSubfoldersIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(140, 100, 20), 1.2));
        p.setBrush(QColor(240, 200, 90));
        QPainterPath folder;
        folder.moveTo(1.5, 9.5);
        folder.lineTo(7.5, 9.5);
        folder.lineTo(9.5, 12.5);
        folder.lineTo(18.5, 12.5);
        folder.lineTo(18.5, 29.5);
        folder.lineTo(1.5, 29.5);
        folder.closeSubpath();
        p.drawPath(folder);
        drawPage(p, QRectF(5.5, 3.5, 9, 12));
        drawPage(p, QRectF(8.5, 15.5, 8, 11));
        drawArrow(p);
    });
}

} // namespace dravonel
