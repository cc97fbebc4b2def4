#include "mdiStatus.h"

#include "host.h"
#include "messages.h"
#include "program.h"
#include "twips.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QListView>
#include <QMenu>
#include <QStyledItemDelegate>

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

// Every line is as wide as the widest line, so the list scrolls sideways to
// show each line whole (the list's items share one size).
class WholeLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(std::max(size.width(), widest_));
        return size;
    }
    // Takes the width of the lines `first` to `last` of the view's model.
    void measure(const QAbstractItemView& view, int first, int last) {
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.font = view.font();
        option.features = QStyleOptionViewItem::HasDisplay;
        for (int row = first; row <= last; ++row)
            widest_ = std::max(
                widest_,
                QStyledItemDelegate::sizeHint(option, view.model()->index(row, 0)).width());
    }
    void forget() { widest_ = 0; }

private:
    int widest_ = 0;
};

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

mdiStatus::mdiStatus(Session& session, Program& program, MessageHost& prompts, QWidget* parent)
    : Pane(session, program, prompts, QStringLiteral("Status_"), parent),
      lstKekka(new QListView(this)), mnuDel(nullptr), widths_(new WholeLineDelegate(this)) {
    ResultLog& model = log();
    setObjectName(QStringLiteral("mdiStatus"));
    lstKekka->setObjectName(QStringLiteral("lstKekka"));
    lstKekka->setModel(&model);
    lstKekka->setSelectionModel(model.selection());
    lstKekka->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstKekka->setUniformItemSizes(true);
    lstKekka->setItemDelegate(widths_);
    lstKekka->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                widths_->measure(*lstKekka, first, last);
            });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] { widths_->forget(); });
    mnuDel = mnuPopup->addAction(resAll(common_msg::ClearLog), this, [this] { mnuDel_Click(); });
    mnuDel->setObjectName(QStringLiteral("mnuDel"));
    addToolTip(lstKekka, msg::TipLog);
    addFontTarget(lstKekka);
    addPopupTarget(lstKekka);
    addPopupTarget(lstKekka->viewport());
    // The newest line stays in view while a run adds lines.
    connect(&model, &QAbstractItemModel::rowsInserted, lstKekka,
            [this] { lstKekka->scrollTo(log().index(log().current())); });
}

void mdiStatus::SetFontData() {
    Pane::SetFontData();
    // The widths change with the font.
    widths_->forget();
    if (log().rowCount() > 0)
        widths_->measure(*lstKekka, 0, log().rowCount() - 1);
    lstKekka->doItemsLayout();
}

void mdiStatus::Form_Load() {
    loadGeometry();
    SetFontData();
    setWindowTitle(resDravonel(msg::LogTitle));
    SetToolTip(program_.options.Tip);
}

void mdiStatus::Form_Resize() {
    const double w = toTwips(width()) - 120, h = toTwips(height()) - 120;
    if (w <= 0)
        return;
    const int height = h > 0 ? toPixels(h) : lstKekka->height();
    lstKekka->setGeometry(toPixels(60), toPixels(60), toPixels(w), height);
}

void copyLog(const ResultLog& log) {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    if (log.rowCount() > 0)
        clipboard->setText(log.clipboardText());
}

void mdiStatus::LogCopy() {
    copyLog(log());
}

void mdiStatus::LogSave() {
    QFileDialog dialog(window());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(dialogFilters(resAll(common_msg::LogFileFilter)));
    dialog.setDefaultSuffix(QStringLiteral("LOG"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString name = dialog.selectedFiles().first();
    if (name.isEmpty())
        return;
    log().WriteLogFile(name, *prompts_);
}

} // namespace dravonel
