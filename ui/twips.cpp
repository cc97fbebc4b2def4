#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace dravonel {

double logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

double twipsPerPixel() {
    return 1440.0 / logicalDpi();
}

int toPixels(double twips) {
    return int(std::lround(twips / twipsPerPixel()));
}

double toTwips(int pixels) {
    return pixels * twipsPerPixel();
}

QRect toPixels(double left, double top, double width, double height) {
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

QSize toPixels(double width, double height) {
    return QSize(toPixels(width), toPixels(height));
}

void placeTwips(QWidget* widget, double left, double top, double width, double height) {
    widget->setGeometry(toPixels(left, top, width, height));
}

} // namespace dravonel
