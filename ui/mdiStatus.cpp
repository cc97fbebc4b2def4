#include "mdiStatus.h"

#include "frmDravonel.h"
#include "messages.h"
#include "program.h"
#include "twips.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QListView>
#include <QMenu>

namespace dravonel {

namespace {

// "*.LOG" becomes "*.[lL][oO][gG]", so the dialog lists a.log and A.LOG alike.
QString anyCase(const QString& pattern) {
    QString out;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            out += c;
    }
    return out;
}

} // namespace

QStringList dialogFilters(const QString& tableFilter) {
    const QStringList parts = tableFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts.at(i);
        const int paren = label.indexOf(QLatin1Char('('));
        if (paren > 0)
            label = label.left(paren);
        const QString pattern =
            parts.at(i + 1) == QLatin1String("*.*")
                ? QStringLiteral("*")
                : anyCase(parts.at(i + 1)).replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << label + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters;
}

mdiStatus::mdiStatus(frmDravonel& main, Program& program, QWidget* parent)
    : Pane(main, program, QStringLiteral("Status_"),
           QStringLiteral("Dravonel2 mdiStatus Form_Load ERR"), parent),
      lstKekka(new QListView(this)), mnuDel(nullptr), log_(this) {
    setObjectName(QStringLiteral("mdiStatus"));
    lstKekka->setObjectName(QStringLiteral("lstKekka"));
    lstKekka->setModel(&log_);
    lstKekka->setSelectionModel(log_.selection());
    lstKekka->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstKekka->setUniformItemSizes(true);
    mnuDel = mnuPopup->addAction(resAll(2008), this, [this] { mnuDel_Click(); });
    mnuDel->setObjectName(QStringLiteral("mnuDel"));
    addToolTip(lstKekka, 5001);
    addFontTarget(lstKekka);
    addPopupTarget(lstKekka);
    addPopupTarget(lstKekka->viewport());
    // The newest line stays in view while a run adds lines.
    connect(&log_, &QAbstractItemModel::rowsInserted, lstKekka,
            [this] { lstKekka->scrollTo(log_.index(log_.current())); });
}

bool mdiStatus::Form_Load() {
    if (!loadGeometry())
        return false;
    SetFontData();
    if (!program_.AutoRunning) {
        setWindowTitle(resDravonel(5000));
        SetToolTip(program_.options.Tip);
    }
    return true;
}

void mdiStatus::Form_Resize() {
    const double w = toTwips(width()) - 120, h = toTwips(height()) - 120;
    if (w <= 0)
        return;
    const int height = h > 0 ? toPixels(h) : lstKekka->height();
    lstKekka->setGeometry(toPixels(60), toPixels(60), toPixels(w), height);
}

void mdiStatus::LogCopy() {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    if (log_.rowCount() > 0)
        clipboard->setText(log_.clipboardText());
}

void mdiStatus::LogSave() {
    QFileDialog dialog(&main_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(dialogFilters(resAll(11)));
    dialog.setDefaultSuffix(QStringLiteral("LOG"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString name = dialog.selectedFiles().first();
    if (name.isEmpty())
        return;
    log_.WriteLogFile(name, main_);
}

} // namespace dravonel
