// The main window's place on the screen: restored from the stored keys with
// their corrections, fitted to the screen it comes back on (its frame too,
// once the window manager has drawn one), and stored at exit.
#pragma once

#include <QRect>

class QWidget;

namespace dravonel {

class SettingsStore;

// A window rectangle moved and, where it is larger, shrunk so that it lies
// wholly inside `area` (the screen's available area).
QRect fitToArea(const QRect& window, const QRect& area);

// Sets the window's geometry and state from "Main_Left", "Main_Top",
// "Main_Width", "Main_Height" and "Main_WindowState" (the legacy rule of
// prefix "Main"): a window off the screen or too small comes back usable, and
// never smaller than its minimum size. Without a usable stored width the
// window is at least `firstWidth` pixels wide.
void restoreMainGeometry(QWidget& window, SettingsStore& store, int firstWidth);

// Writes the window state and, in the normal state, the rectangle.
void saveMainGeometry(const QWidget& window, SettingsStore& store);

// Keeps the window with its frame inside the available screen area. The
// window manager tells the frame a moment after the window appears, so the
// window looks again a few times while it has none.
void fitFrameToScreen(QWidget& window);

} // namespace dravonel
