// The six panes in the main window's MDI area: their frames, their layout
// cells (two columns of three rows), the row of minimised panes kept clear of
// the others, the room they need, and the keyboard's walk through them.
#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>

class QMdiArea;
class QWidget;

namespace dravonel {

class Pane;

class PaneGrid : public QObject {
    Q_OBJECT
public:
    // Frames each pane (hidden until shown) in `area`; `panes` in load order:
    // the left column top down, then the right column.
    PaneGrid(QMdiArea& area, const QList<Pane*>& panes, QObject* parent = nullptr);

    // The pane sizes for a client area of `scaleWidth` x `scaleHeight` twips:
    // half the width and a third of the height, halves rounded to even.
    static QSize paneSize(double scaleWidth, double scaleHeight);

    // The layout cell of each pane in the load order, in pixels of the area.
    QList<QRect> cells() const;
    // Places every pane in its cell (as far as its own geometry leaves to the
    // cell), then keeps the panes clear of the row of minimised panes.
    void place();
    // Cuts back the panes that reach into the row of minimised panes.
    void keepClearOfIcons();
    // The room the panes need so that every pane's controls are shown without
    // overlap: two columns as wide as the widest pane, each row as tall as its
    // tallest pane, frames included.
    QSize minimumSize() const;
    // The width at which the panes' captions fit side by side.
    int captionsWidth() const;

    // From now on Tab and Shift+Tab walk through `leading`, then each pane's
    // controls in the panes' load order, and on from pane to pane (a pane's
    // frame would otherwise keep the focus among its own controls).
    void walkTabsThrough(const QList<QWidget*>& leading);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls Tab walks through.
    QList<QWidget*> tabOrder() const;
    // Moves the keyboard focus to the next (or previous) control that can take
    // it, activating its pane.
    void focusNext(QWidget* from, bool forward);

    QMdiArea& area_;
    QList<Pane*> panes_;
    QList<QWidget*> leading_;
};

} // namespace dravonel
