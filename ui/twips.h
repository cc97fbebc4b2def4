// Twips (1/1440 inch), the unit of every stored window position and size, and
// of the layouts: converted through the screen's logical DPI (15 twips per
// pixel at 96 DPI).
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace dravonel {

// Logical DPI of the primary screen (96 when there is none).
double logicalDpi();
// Twips per pixel at that DPI.
double twipsPerPixel();

int toPixels(double twips);
double toTwips(int pixels);
QRect toPixels(double left, double top, double width, double height);
QSize toPixels(double width, double height);

// Sets a widget's geometry from twips (left, top, width, height).
void placeTwips(QWidget* widget, double left, double top, double width, double height);

} // namespace dravonel
