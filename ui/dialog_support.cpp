#include "dialog_support.h"

#include "message_box.h"
#include "options.h"
#include "settings.h"
#include "twips.h"

#include <QCheckBox>
#include <QFont>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTranslator>
#include <QWidget>

#include <algorithm>

namespace dravonel {

namespace {

class StandardPrompts : public Prompts {
public:
    QString inputBox(QWidget* parent, const QString& prompt, const QString& title,
                     const QString& proposed) override {
        QString label = prompt;
        label.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        bool ok = false;
        const QString answer =
            QInputDialog::getText(parent, title, label, QLineEdit::Normal, proposed, &ok);
        return ok ? answer : QString();
    }

    void message(QWidget* parent, const QString& text) override { showMessage(parent, text); }
};

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

Prompts& standardPrompts() {
    static StandardPrompts prompts;
    return prompts;
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

void fitLineHeights(QWidget* dialog) {
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        int needed = child->fontMetrics().height();
        if (qobject_cast<QCheckBox*>(child))
            needed = std::max(needed, child->style()->pixelMetric(QStyle::PM_IndicatorHeight));
        else if (qobject_cast<QRadioButton*>(child))
            needed =
                std::max(needed, child->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight));
        else if (!qobject_cast<QLabel*>(child))
            continue;
        needed += 2;
        const QRect box = child->geometry();
        if (box.height() < needed)
            child->setGeometry(box.x(), box.center().y() - needed / 2, box.width(), needed);
    }
}

double screenWidthTwips() {
    return toTwips(screenSize().width());
}

double screenHeightTwips() {
    return toTwips(screenSize().height());
}

bool loadPosition(QWidget* dialog, SettingsStore& store, const QString& prefix) {
    const WindowSettings settings(store, prefix);
    float left = 1000.0f;
    float top = 1000.0f;
    if (!convertSingle(settings.read(prefix + QStringLiteral("_Left"), QStringLiteral("1000")),
                       left) ||
        !convertSingle(settings.read(prefix + QStringLiteral("_Top"), QStringLiteral("1000")), top))
        return false;
    if (left < 0 || left > screenWidthTwips())
        left = 1000.0f;
    if (top < 0 || top > screenHeightTwips())
        top = 1000.0f;
    dialog->move(toPixels(left), toPixels(top));
    return true;
}

void savePosition(const QWidget* dialog, SettingsStore& store, const QString& prefix) {
    const WindowSettings settings(store, prefix);
    settings.writeSingle(prefix + QStringLiteral("_Left"), float(toTwips(dialog->x())));
    settings.writeSingle(prefix + QStringLiteral("_Top"), float(toTwips(dialog->y())));
}

} // namespace dravonel
