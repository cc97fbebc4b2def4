#include "drawn_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <functional>

namespace dravonel {

namespace {

constexpr int kButtonIconSize = 16;

QIcon drawn(const std::function<void(QPainter&)>& paint) {
    QPixmap pixmap(kButtonIconSize, kButtonIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return QIcon(pixmap);
}

void arrow(QPainter& painter, bool up) {
    const double tip = up ? 2 : 14;
    const double base = up ? 9 : 7;
    QPolygonF head{{8, tip}, {1.5, base}, {14.5, base}};
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 90, 170));
    painter.drawPolygon(head);
    painter.drawRect(QRectF(5.5, up ? 8.5 : 2, 5, 5.5));
}

void cross(QPainter& painter, const QRectF& box) {
    painter.setPen(QPen(QColor(190, 20, 20), 2.4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(box.topLeft(), box.bottomRight());
    painter.drawLine(box.topRight(), box.bottomLeft());
}

} // namespace

QIcon arrowUpIcon() {
    return drawn([](QPainter& p) { arrow(p, true); });
}

QIcon arrowDownIcon() {
    return drawn([](QPainter& p) { arrow(p, false); });
}

QIcon deleteIcon() {
    return drawn([](QPainter& p) { cross(p, QRectF(3.5, 3.5, 9, 9)); });
}

QIcon deleteAllIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(Qt::white);
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(1.5 + i * 2, 1.5 + i * 2, 9, 9));
        cross(p, QRectF(6, 6, 8.5, 8.5));
    });
}

QPixmap programIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // Three sheets fanned out above the box.
    const QColor sheets[] = {QColor(250, 230, 160), QColor(200, 230, 250), QColor(255, 255, 255)};
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.translate(16, 16);
        p.rotate(-18 + i * 18);
        p.setPen(QPen(QColor(80, 80, 80), 0.8));
        p.setBrush(sheets[i]);
        p.drawRect(QRectF(-6, -14, 12, 15));
        p.setPen(QPen(QColor(150, 150, 150), 0.7));
        for (int line = 0; line < 3; ++line)
            p.drawLine(QPointF(-4, -11 + line * 3), QPointF(4, -11 + line * 3));
        p.restore();
    }
    // The box with a clamp band: the archive.
    QPainterPath box;
    box.addRoundedRect(QRectF(4, 15, 24, 15), 2, 2);
    p.setPen(QPen(QColor(60, 40, 20), 1));
    p.setBrush(QColor(180, 110, 50));
    p.drawPath(box);
    p.setBrush(QColor(120, 70, 30));
    p.drawRect(QRectF(4, 19, 24, 3));
    // Arrows pressing down from both sides.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 110, 200));
    p.drawPolygon(QPolygonF{{1, 6}, {5, 6}, {3, 11}});
    p.drawPolygon(QPolygonF{{27, 6}, {31, 6}, {29, 11}});
    return pixmap;
}

} // namespace dravonel
