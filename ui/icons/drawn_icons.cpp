#include "drawn_icons.h"

#include <QPainter>
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

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/program-icon/%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace dravonel
