#include "mdiOutFile.h"

#include "messages.h"
#include "paths.h"
#include "program.h"
#include "twips.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QMenu>
#include <QUrl>

#include <cmath>

namespace dravonel {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

} // namespace

QStringList ArchiveDragData::formats() const {
    return {kUriList};
}

bool ArchiveDragData::hasFormat(const QString& mimeType) const {
    return mimeType == kUriList;
}

QVariant ArchiveDragData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (mimeType != kUriList || !list_)
        return {};
    QList<QUrl> urls;
    for (int row : list_->markedRows())
        urls << QUrl::fromLocalFile(list_->entry(row));
    if (type.id() == QMetaType::QVariantList) {
        QVariantList list;
        for (const QUrl& url : urls)
            list << url;
        return list;
    }
    QByteArray text;
    for (const QUrl& url : urls)
        text += url.toEncoded() + "\r\n";
    return text;
}

OutFileList::OutFileList(QWidget* parent) : QListView(parent) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
}

void OutFileList::startDrag(Qt::DropActions) {
    auto* list = qobject_cast<OutputList*>(model());
    if (!list || list->count() == 0)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(new ArchiveDragData(*list));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

mdiOutFile::mdiOutFile(Session& session, Program& program, MessageHost& prompts, QWidget* parent)
    : Pane(session, program, prompts, QStringLiteral("OutFile_"), parent),
      lstOutFile(new OutFileList(this)) {
    OutputList& outputs = list();
    setObjectName(QStringLiteral("mdiOutFile"));
    lstOutFile->setObjectName(QStringLiteral("lstOutFile"));
    lstOutFile->setModel(&outputs);
    lstOutFile->setSelectionModel(outputs.selection());
    lstOutFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstOutFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstOutFile->setContextMenuPolicy(Qt::NoContextMenu);
    addToolTip(lstOutFile, msg::TipOutFile);
    addFontTarget(lstOutFile);
    addPopupTarget(lstOutFile->viewport());
    // The archive just added comes into view.
    connect(
        &outputs, &QAbstractItemModel::rowsInserted, lstOutFile,
        [this](const QModelIndex&, int, int last) { lstOutFile->scrollTo(list().index(last)); });

    mnuDel = mnuPopup->addAction(resAll(common_msg::ClearLog), this, [this] { mnuDel_Click(); });
    mnuRefresh =
        mnuPopup->addAction(resAll(common_msg::Refresh), this, [this] { mnuRefresh_Click(); });
    mnuAll =
        mnuPopup->addAction(resAll(common_msg::SelectAll), this, [this] { list().SelectAll(); });
    mnuClear = mnuPopup->addAction(resAll(common_msg::ClearSelection), this,
                                   [this] { list().SelectClear(); });
    mnuDel->setObjectName(QStringLiteral("mnuDel"));
    mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
    mnuAll->setObjectName(QStringLiteral("mnuAll"));
    mnuClear->setObjectName(QStringLiteral("mnuClear"));
}

void mdiOutFile::Form_Load() {
    loadGeometry();
    SetFontData();
    setWindowTitle(resDravonel(msg::OutFileTitle));
    SetToolTip(program_.options.Tip);
}

void mdiOutFile::mnuDel_Click() {
    list().removeAll();
}

void mdiOutFile::mnuRefresh_Click() {
    OutputList& outputs = list();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    int i = 0;
    while (i < outputs.count()) {
        const QString longForm = LongPath(outputs.entry(i));
        if (!longForm.isEmpty() && CanOpenForReading(longForm)) {
            const int before = outputs.count();
            outputs.replaceEntry(i, longForm);
            if (outputs.count() == before)
                ++i;
        } else {
            outputs.removeEntry(i);
        }
    }
    QApplication::restoreOverrideCursor();
}

void mdiOutFile::Form_Resize() {
    const double w = std::round(toTwips(width()) - 120);
    const double h = std::round(toTwips(height()) - 120);
    if (w <= 0)
        return;
    lstOutFile->setGeometry(toPixels(60), toPixels(60), toPixels(w),
                            h >= 1 ? toPixels(h) : lstOutFile->height());
}

} // namespace dravonel
