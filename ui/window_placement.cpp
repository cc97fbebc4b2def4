#include "window_placement.h"

#include "settings.h"
#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace dravonel {

namespace {

const QString kPrefix = QStringLiteral("Main");

void fitFrame(QWidget& window, int looks) {
    if (window.windowState() != Qt::WindowNoState || !window.screen())
        return;
    const QRect frame = window.frameGeometry();
    if (frame == window.geometry() && looks < 9) {
        QTimer::singleShot(100, &window, [&window, looks] { fitFrame(window, looks + 1); });
        return;
    }
    // Shrink the window by what the frame would leave outside, then move it in.
    const QRect area = window.screen()->availableGeometry();
    const QRect fitted = fitToArea(frame, area);
    if (fitted == frame)
        return;
    const QRect inner = window.geometry();
    window.resize(inner.width() - (frame.width() - fitted.width()),
                  inner.height() - (frame.height() - fitted.height()));
    window.move(fitted.topLeft());
}

} // namespace

QRect fitToArea(const QRect& window, const QRect& area) {
    const QSize size = window.size().boundedTo(area.size());
    const int x = std::clamp(window.x(), area.left(), area.left() + area.width() - size.width());
    const int y = std::clamp(window.y(), area.top(), area.top() + area.height() - size.height());
    return QRect(QPoint(x, y), size);
}

void restoreMainGeometry(QWidget& window, SettingsStore& store, int firstWidth) {
    // A stored value that cannot be read gives its default, like an absent one.
    const WindowSettings keys(store, kPrefix);
    float left = keys.readSingle(QStringLiteral("Main_Left"), 1000);
    float top = keys.readSingle(QStringLiteral("Main_Top"), 1000);
    float width = keys.readSingle(QStringLiteral("Main_Width"), 8000);
    float height = keys.readSingle(QStringLiteral("Main_Height"), 8000);
    const qint16 state = keys.readInt16(QStringLiteral("Main_WindowState"), 0);
    if (!keys.storedSingle(QStringLiteral("Main_Width")))
        width = std::max(width, float(toTwips(firstWidth)));
    // Corrections: a window off the screen or too small comes back usable. They
    // apply to the normal-state rectangle whatever the stored state.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize(1024, 768);
    if (left < 0 || left > toTwips(screenSize.width()))
        left = 1000;
    if (top < 0 || top > toTwips(screenSize.height()))
        top = 1000;
    if (width < 2000)
        width = 8000;
    if (height < 500)
        height = 8000;
    // Then the whole window fits the screen it comes back on (a scale factor
    // or a smaller screen would otherwise leave part of it out of reach).
    QRect rect = toPixels(left, top, width, height);
    const QScreen* on = QGuiApplication::screenAt(rect.center());
    if (!on)
        on = screen;
    if (on)
        rect = fitToArea(QRect(rect.topLeft(), rect.size().expandedTo(window.minimumSize())),
                         on->availableGeometry());
    window.setGeometry(rect);
    if (state == 1)
        window.setWindowState(Qt::WindowMinimized);
    else if (state == 2)
        window.setWindowState(Qt::WindowMaximized);
}

void saveMainGeometry(const QWidget& window, SettingsStore& store) {
    const WindowSettings keys(store, kPrefix);
    const Qt::WindowStates s = window.windowState();
    const int state = (s & Qt::WindowMinimized) ? 1 : (s & Qt::WindowMaximized) ? 2 : 0;
    keys.write(QStringLiteral("Main_WindowState"), QString::number(state));
    if (state == 0) {
        const QRect g = window.geometry();
        keys.writeSingle(QStringLiteral("Main_Left"), float(toTwips(g.x())));
        keys.writeSingle(QStringLiteral("Main_Top"), float(toTwips(g.y())));
        keys.writeSingle(QStringLiteral("Main_Width"), float(toTwips(g.width())));
        keys.writeSingle(QStringLiteral("Main_Height"), float(toTwips(g.height())));
    }
}

void fitFrameToScreen(QWidget& window) {
    fitFrame(window, 0);
}

} // namespace dravonel
