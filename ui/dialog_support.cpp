#include "dialog_support.h"

#include "options.h"
#include "settings.h"
#include "twips.h"

#include <QAbstractButton>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

#include <algorithm>

namespace dravonel {

namespace {

QSize screenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(0, 0);
}

} // namespace

bool loadQtJapanese(QTranslator& translator) {
    if (!translator.load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}

void applyFontData(const OptionSet& options, std::initializer_list<QWidget*> widgets) {
    for (QWidget* widget : widgets) {
        QFont font = widget->font();
        font.setFamily(options.Font_Name);
        if (options.Font_Size > 0)
            font.setPointSize(options.Font_Size);
        font.setBold(options.Font_Bold);
        font.setItalic(options.Font_Italic);
        widget->setFont(font);
    }
}

namespace {

const char* const kDesign = "designRect";

QRect designOf(QWidget* widget) {
    const QVariant stored = widget->property(kDesign);
    if (stored.isValid())
        return stored.toRect();
    widget->setProperty(kDesign, widget->geometry());
    return widget->geometry();
}

// Lays out the children of `container` (see fitRows) and returns how much
// wider and taller than designed it has to be.
QSize fitChildren(QWidget* container) {
    QMap<int, QList<QWidget*>> rows; // by design top
    for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            rows[designOf(child).top()].append(child);
    int shift = 0, previousBottom = 0, wider = 0;
    for (QList<QWidget*>& row : rows) {
        std::sort(row.begin(), row.end(),
                  [](QWidget* a, QWidget* b) { return designOf(a).x() < designOf(b).x(); });
        // What each member needs: its text for the controls, its own rows for
        // a panel; never less than designed.
        QList<QSize> needs;
        int rowHeight = 0, rowDesignHeight = 0;
        for (QWidget* w : row) {
            const QRect design = designOf(w);
            QSize need = design.size();
            if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)) {
                need = need.expandedTo(w->sizeHint());
            } else if (!w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty()) {
                need += fitChildren(w);
            }
            needs << need;
            rowHeight = std::max(rowHeight, need.height());
            rowDesignHeight = std::max(rowDesignHeight, design.height());
        }
        // The row grows about its centre into the gap above; what the gap
        // cannot take moves this row and every later one down.
        const int centre = designOf(row.first()).top() + rowDesignHeight / 2 + shift;
        int top = centre - rowHeight / 2;
        if (top < previousBottom) {
            shift += previousBottom - top;
            top = previousBottom;
        }
        previousBottom = top + rowHeight;
        // In the row, a wider member pushes the ones to its right.
        int push = 0, previousRight = 0;
        for (qsizetype i = 0; i < row.size(); ++i) {
            const QRect design = designOf(row[i]);
            int left = design.x() + push;
            if (left < previousRight) {
                push += previousRight - left;
                left = previousRight;
            }
            const int h = needs[i].height();
            row[i]->setGeometry(left, top + (rowHeight - h) / 2, needs[i].width(), h);
            previousRight = left + needs[i].width();
            push = std::max(push, previousRight - design.right() - 1);
        }
        wider = std::max(wider, push);
    }
    // Taller by how far the rows now reach below where they reached as designed.
    int designBottom = 0;
    for (const QList<QWidget*>& row : std::as_const(rows))
        for (QWidget* w : row)
            designBottom = std::max(designBottom, designOf(w).bottom() + 1);
    return QSize(wider, std::max(0, previousBottom - designBottom));
}

} // namespace

void fitRows(QWidget* dialog) {
    dialog->setFixedSize(designOf(dialog).size() + fitChildren(dialog));
}

double screenWidthTwips() {
    return toTwips(screenSize().width());
}

double screenHeightTwips() {
    return toTwips(screenSize().height());
}

void loadPosition(QWidget* dialog, SettingsStore& store, const QString& prefix) {
    const WindowSettings settings(store, prefix);
    // Nothing stored: the dialog is left unplaced, and Qt centres it over the
    // window it belongs to when it is shown.
    if (!settings.storedSingle(prefix + QStringLiteral("_Left")) &&
        !settings.storedSingle(prefix + QStringLiteral("_Top")))
        return;
    float left = settings.readSingle(prefix + QStringLiteral("_Left"), 1000.0f);
    float top = settings.readSingle(prefix + QStringLiteral("_Top"), 1000.0f);
    if (left < 0 || left > screenWidthTwips())
        left = 1000.0f;
    if (top < 0 || top > screenHeightTwips())
        top = 1000.0f;
    dialog->move(toPixels(left), toPixels(top));
}

void savePosition(const QWidget* dialog, SettingsStore& store, const QString& prefix) {
    // A dialog never placed (no stored position, never shown) has no position
    // of its own to keep: it goes on opening over the main window.
    if (!dialog->testAttribute(Qt::WA_Moved))
        return;
    const WindowSettings settings(store, prefix);
    settings.writeSingle(prefix + QStringLiteral("_Left"), float(toTwips(dialog->x())));
    settings.writeSingle(prefix + QStringLiteral("_Top"), float(toTwips(dialog->y())));
}

} // namespace dravonel
