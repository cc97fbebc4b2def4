#include "pane_grid.h"

#include "pane.h"
#include "twips.h"

#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QTimer>

#include <cmath>

namespace dravonel {

namespace {

// The pane frames carry a title but no close button: a pane is part of the window.
constexpr Qt::WindowFlags kPaneFlags =
    Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint;

qint16 roundHalfEven16(double value) {
    const double r = std::nearbyint(value); // the default rounding mode: halves to even
    return qint16(std::clamp(r, -32768.0, 32767.0));
}

} // namespace

PaneGrid::PaneGrid(QMdiArea& area, const QList<Pane*>& panes, QObject* parent)
    : QObject(parent), area_(area), panes_(panes) {
    for (Pane* pane : panes_) {
        QMdiSubWindow* frame = area_.addSubWindow(pane, kPaneFlags);
        frame->setAttribute(Qt::WA_DeleteOnClose, false);
        frame->hide();
        // Once the area has put a minimised pane in its row, the panes end
        // above that row.
        connect(frame, &QMdiSubWindow::windowStateChanged, this,
                [this] { QTimer::singleShot(0, this, &PaneGrid::keepClearOfIcons); });
    }
}

QSize PaneGrid::paneSize(double scaleWidth, double scaleHeight) {
    return QSize(roundHalfEven16(scaleWidth / 2), roundHalfEven16(scaleHeight / 3));
}

QList<QRect> PaneGrid::cells() const {
    // The client area, without scroll bars.
    const QRect client = area_.contentsRect();
    const QSize wh = paneSize(toTwips(client.width()), toTwips(client.height()));
    const double w = wh.width(), h = wh.height();
    QList<QRect> cells;
    for (int index = 0; index < panes_.size(); ++index) {
        // Left column: input folder, input files, targets; right column:
        // output folder, log, output files.
        const double left = index / 3 * w, top = index % 3 * h;
        // Pixel edges from twips edges, so neighbours meet without a gap or an
        // overlap that would bring up scroll bars.
        const int x0 = toPixels(left), y0 = toPixels(top);
        const int x1 = std::min(toPixels(left + w), client.width());
        const int y1 = std::min(toPixels(top + h), client.height());
        cells << QRect(x0, y0, x1 - x0, y1 - y0);
    }
    return cells;
}

void PaneGrid::place() {
    const QList<QRect> all = cells();
    for (int i = 0; i < panes_.size(); ++i)
        panes_.at(i)->placeInCell(all.at(i));
    QTimer::singleShot(0, this, &PaneGrid::keepClearOfIcons);
}

void PaneGrid::keepClearOfIcons() {
    // Minimised panes lie in a row along the bottom of the area; a pane in its
    // normal state that reaches into that row is cut back to end above it,
    // so no icon covers a pane's controls (the target list's buttons).
    const QList<QMdiSubWindow*> frames = area_.subWindowList();
    int iconTop = area_.viewport()->height();
    for (const QMdiSubWindow* frame : frames)
        if (frame->isVisible() && frame->isMinimized())
            iconTop = std::min(iconTop, frame->y());
    for (QMdiSubWindow* frame : frames) {
        if (!frame->isVisible() || frame->isMinimized() || frame->isMaximized())
            continue;
        QRect g = frame->geometry();
        if (g.top() < iconTop && g.bottom() >= iconTop) {
            g.setBottom(iconTop - 1);
            frame->setGeometry(g);
        }
    }
}

QSize PaneGrid::minimumSize() const {
    int columnWidth = 0, rowsHeight = 0;
    for (int row = 0; row < 3; ++row) {
        int tallest = 0;
        for (int column = 0; column < 2; ++column) {
            const qsizetype index = column * 3 + row;
            if (index >= panes_.size())
                continue;
            const Pane* pane = panes_.at(index);
            // The pane's frame: its title bar and borders.
            const QStyle* style = area_.style();
            const int border =
                2 * style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, pane->frame());
            const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, pane->frame());
            const QSize need = pane->minimumContentSize();
            tallest = std::max(tallest, need.height() + title + border);
            columnWidth = std::max(columnWidth, need.width() + border);
        }
        rowsHeight += tallest;
    }
    return {2 * columnWidth, rowsHeight};
}

int PaneGrid::captionsWidth() const {
    int widest = 0;
    for (Pane* pane : panes_) {
        QWidget* frame = pane->frame();
        if (!frame)
            continue;
        QFont font = frame->font();
        font.setBold(true); // an active pane's caption may be drawn bold
        // The caption's text, and room for its icon and two buttons.
        const int buttons =
            4 * frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
        widest =
            std::max(widest, QFontMetrics(font).horizontalAdvance(pane->windowTitle()) + buttons);
    }
    // Two columns, and the area's own margins.
    return 2 * widest + 2 * area_.frameWidth();
}

void PaneGrid::walkTabsThrough(const QList<QWidget*>& leading) {
    leading_ = leading;
    for (QWidget* control : tabOrder())
        control->installEventFilter(this);
}

bool PaneGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            const bool back =
                key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            focusNext(static_cast<QWidget*>(watched), !back);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QList<QWidget*> PaneGrid::tabOrder() const {
    QList<QWidget*> order = leading_;
    for (Pane* pane : panes_) {
        // The pane's own focus chain, without the parts of compound controls.
        for (QWidget* w = pane->nextInFocusChain(); w && w != pane; w = w->nextInFocusChain()) {
            if (!pane->isAncestorOf(w))
                break;
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
                order << w;
        }
    }
    return order;
}

void PaneGrid::focusNext(QWidget* from, bool forward) {
    const QList<QWidget*> order = tabOrder();
    const qsizetype n = order.size();
    qsizetype at = order.indexOf(from);
    for (qsizetype step = 1; step <= n; ++step) {
        const qsizetype i = ((at < 0 ? (forward ? -1 : 0) : at) + (forward ? step : -step) + n) % n;
        QWidget* next = order.at(i);
        if (!next->isVisible() || !next->isEnabled())
            continue;
        for (Pane* pane : panes_)
            if (pane->isAncestorOf(next) && pane->frame())
                area_.setActiveSubWindow(pane->frame());
        next->setFocus(Qt::TabFocusReason);
        return;
    }
}

} // namespace dravonel
