#include "pane.h"

#include "messages.h"
#include "program.h"
#include "settings.h"
#include "twips.h"

#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>

namespace dravonel {

QFont settingsFont(const Program& program) {
    const OptionSet& o = program.options;
    QFont font;
    font.setFamily(o.Font_Name);
    if (o.Font_Size > 0)
        font.setPointSize(o.Font_Size);
    font.setBold(o.Font_Bold);
    font.setItalic(o.Font_Italic);
    return font;
}

Pane::Pane(Session& session, Program& program, MessageHost& prompts, const QString& stem,
           QWidget* parent)
    : QWidget(parent), session_(session), program_(program), prompts_(&prompts),
      mnuPopup(new QMenu(this)), stem_(stem) {}

QSize Pane::minimumContentSize() const {
    // A list between margins of 60 twips.
    return {toPixels(1500), minimumListHeight() + toPixels(120)};
}

int Pane::minimumListHeight() const {
    // Three lines of the pane's font and the list's frame.
    return 3 * fontMetrics().lineSpacing() + 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
}

QMdiSubWindow* Pane::frame() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void Pane::addToolTip(QWidget* control, int messageId) {
    toolTips_.append({control, messageId});
    // The tool-tip text names and describes the control for screen readers,
    // whether or not tool-tips are shown (a drive list's name is its value on
    // this platform, so the description carries the text there).
    control->setAccessibleName(resDravonel(messageId));
    control->setAccessibleDescription(resDravonel(messageId));
}

void Pane::addFontTarget(QWidget* control) {
    fontTargets_.append(control);
}

void Pane::addPopupTarget(QWidget* control) {
    control->installEventFilter(this);
}

void Pane::SetToolTip(bool blnToolTip) {
    for (const auto& [control, id] : toolTips_)
        control->setToolTip(blnToolTip ? resDravonel(id) : QString());
}

void Pane::SetFontData() {
    const QFont font = settingsFont(program_);
    setFont(font);
    for (QWidget* control : fontTargets_)
        control->setFont(font);
    Form_Resize();
}

bool Pane::eventFilter(QObject* watched, QEvent* event) {
    // The user moved or resized a pane that had no stored geometry: from now
    // on it keeps its own.
    if (watched == frame() && unstored_ && !placing_ && frame()->isVisible() &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize) && tracking_) {
        unstored_ = 0;
        frame()->removeEventFilter(this);
    }
    if (watched == frame())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && !mnuPopup->isEmpty()) {
            mnuPopup->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Pane::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && !mnuPopup->isEmpty())
        mnuPopup->popup(event->globalPosition().toPoint());
    QWidget::mousePressEvent(event);
}

void Pane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Pane::loadGeometry() {
    if (program_.options.Resize)
        return;
    QWidget* target = frame() ? static_cast<QWidget*>(frame()) : this;
    const WindowSettings keys(program_.store, stem_.chopped(1));
    const QRect g = target->geometry();
    float v[4] = {float(toTwips(g.x())), float(toTwips(g.y())), float(toTwips(g.width())),
                  float(toTwips(g.height()))};
    const char* suffix[4] = {"Left", "Top", "Width", "Height"};
    unstored_ = 0;
    for (int i = 0; i < 4; ++i) {
        const QString key = stem_ + QLatin1String(suffix[i]);
        // A spoilt value counts as not stored: the cell gives it.
        const std::optional<float> stored = keys.storedSingle(key);
        if (stored)
            v[i] = *stored;
        else
            unstored_ |= 1 << i;
    }
    target->setGeometry(toPixels(v[0], v[1], v[2], v[3]));
    if (frame() && unstored_)
        frame()->installEventFilter(this);
}

void Pane::placeInCell(const QRect& cell) {
    const int missing = program_.options.Resize ? 0xf : unstored_;
    if (missing == 0)
        return;
    QWidget* target = frame() ? static_cast<QWidget*>(frame()) : this;
    QRect g = target->geometry();
    g.setRect(missing & 1 ? cell.x() : g.x(), missing & 2 ? cell.y() : g.y(),
              missing & 4 ? cell.width() : g.width(), missing & 8 ? cell.height() : g.height());
    placing_ = true;
    // A maximised pane stays maximised (its frame fills the area and its title
    // stays in the main window's) and comes back to the new cell when restored.
    const bool maximised = frame() && frame()->isMaximized();
    if (maximised)
        frame()->showNormal();
    target->setGeometry(g);
    if (maximised)
        frame()->showMaximized();
    placing_ = false;
}

void Pane::saveGeometry() {
    if (program_.options.Resize)
        return;
    if (window()->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
        return;
    const QWidget* target = frame() ? static_cast<QWidget*>(frame()) : this;
    const WindowSettings keys(program_.store, stem_.chopped(1));
    const QRect g = target->geometry();
    keys.writeSingle(stem_ + QStringLiteral("Left"), float(toTwips(g.x())));
    keys.writeSingle(stem_ + QStringLiteral("Top"), float(toTwips(g.y())));
    keys.writeSingle(stem_ + QStringLiteral("Width"), float(toTwips(g.width())));
    keys.writeSingle(stem_ + QStringLiteral("Height"), float(toTwips(g.height())));
}

} // namespace dravonel
