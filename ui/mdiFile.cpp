#include "mdiFile.h"

#include "drawn_icons.h"
#include "messages.h"
#include "paths.h"
#include "program.h"
#include "twips.h"

#include <QAction>
#include <QDropEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

#include <cmath>

namespace dravonel {

mdiFile::mdiFile(Session& session, Program& program, MessageHost& prompts, QWidget* parent)
    : Pane(session, program, prompts, QStringLiteral("File_"), parent),
      lstFile(new QListView(this)), btnDel(new QToolButton(this)),
      btnDelAll(new QToolButton(this)) {
    setObjectName(QStringLiteral("mdiFile"));
    lstFile->setObjectName(QStringLiteral("lstFile"));
    lstFile->setModel(&list());
    lstFile->setSelectionModel(list().selection());
    lstFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstFile->setUniformItemSizes(true);
    lstFile->setContextMenuPolicy(Qt::NoContextMenu);
    lstFile->setAcceptDrops(true);
    lstFile->viewport()->setAcceptDrops(true);
    lstFile->viewport()->installEventFilter(this);
    lstFile->installEventFilter(this);

    btnDel->setObjectName(QStringLiteral("btnDel"));
    btnDelAll->setObjectName(QStringLiteral("btnDelAll"));
    btnDel->setIcon(deleteIcon());
    btnDelAll->setIcon(deleteAllIcon());
    for (QToolButton* b : {btnDel, btnDelAll}) {
        b->setIconSize(QSize(32, 32));
        b->setFixedSize(toPixels(600), toPixels(600));
    }
    connect(btnDel, &QToolButton::clicked, this, [this] { btnDel_Click(); });
    connect(btnDelAll, &QToolButton::clicked, this, [this] { btnDelAll_Click(); });

    addToolTip(lstFile, msg::TipTargetList);
    addToolTip(btnDel, msg::TipTargetRemoveSelected);
    addToolTip(btnDelAll, msg::TipTargetRemoveAll);
    addFontTarget(lstFile);
    addFontTarget(btnDel);
    addFontTarget(btnDelAll);
    addPopupTarget(lstFile->viewport());

    mnuAll = mnuPopup->addAction(QString(), this, [this] { list().SelectAll(); });
    mnuClear = mnuPopup->addAction(QString(), this, [this] { list().SelectClear(); });
    mnuOutCopy = mnuPopup->addAction(QString(), this, [this] { mnuOutCopy_Click(); });
    mnuInCopy = mnuPopup->addAction(QString(), this, [this] { mnuInCopy_Click(); });
    mnuAll->setObjectName(QStringLiteral("mnuAll"));
    mnuClear->setObjectName(QStringLiteral("mnuClear"));
    mnuOutCopy->setObjectName(QStringLiteral("mnuOutCopy"));
    mnuInCopy->setObjectName(QStringLiteral("mnuInCopy"));
}

void mdiFile::scrollToTop(int row) {
    lstFile->scrollTo(list().index(row), QAbstractItemView::PositionAtTop);
}

void mdiFile::Form_Load() {
    loadGeometry();
    SetFontData();
    setWindowTitle(resDravonel(msg::TargetTitle));
    mnuAll->setText(resAll(common_msg::SelectAll));
    mnuClear->setText(resAll(common_msg::ClearSelection));
    mnuOutCopy->setText(resDravonel(msg::CaptionTargetOutFolderSame));
    mnuInCopy->setText(resDravonel(msg::CaptionTargetInFolderSame));
    SetToolTip(program_.options.Tip);
}

void mdiFile::btnDel_Click() {
    TargetList& targets = list();
    int i = 0;
    while (i <= targets.count() - 1) {
        if (targets.isMarked(i))
            targets.removeEntry(i);
        else
            ++i;
    }
    session_.noteTargetsEdited();
}

void mdiFile::btnDelAll_Click() {
    list().removeAll();
    session_.noteTargetsEdited();
}

QString mdiFile::firstSelectedFolder() {
    const QString first = list().FirstSelectedFile();
    return first.isEmpty() ? QString() : FolderOf(first);
}

void mdiFile::mnuInCopy_Click() {
    const QString folder = firstSelectedFolder();
    if (!folder.isEmpty())
        session_.setFolder(Session::Folder::In, folder);
}

void mdiFile::mnuOutCopy_Click() {
    const QString folder = firstSelectedFolder();
    if (!folder.isEmpty())
        session_.setFolder(Session::Folder::Out, folder);
}

void mdiFile::dropFiles(const QMimeData& data) {
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls()) {
            if (!list().Gaibu_ListInAdd(LocalFileOf(url)))
                break;
        }
    }
    session_.noteTargetsEdited();
}

QWidget* mdiFile::focusControl() const {
    return lstFile;
}

bool mdiFile::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lstFile->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            // The list only names the files, so a drop is always a copy,
            // whatever the source proposes (Shift proposes a move): a source
            // told that its files were moved may delete them.
            auto* drop = static_cast<QDropEvent*>(event);
            if (!drop->mimeData() || !drop->mimeData()->hasUrls() ||
                !drop->possibleActions().testFlag(Qt::CopyAction)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            if (event->type() == QEvent::Drop)
                dropFiles(*drop->mimeData());
            return true;
        }
        default:
            break;
        }
    }
    if (watched == lstFile && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Enter walks on to the output folder; the list still sees the key.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            emit walkOn();
    }
    return Pane::eventFilter(watched, event);
}

QSize mdiFile::minimumContentSize() const {
    // The list, then the two buttons below it (margins as in Form_Resize).
    return {btnDelAll->width() + btnDel->width() + toPixels(180),
            minimumListHeight() + btnDel->height() + toPixels(180)};
}

void mdiFile::Form_Resize() {
    const double w = std::round(toTwips(width()) - 120);
    const double h = std::round(toTwips(height()) - toTwips(btnDel->height()) - 180);
    if (w <= 0)
        return;
    const int listHeight = h >= 1 ? toPixels(h) : lstFile->height();
    lstFile->setGeometry(toPixels(60), toPixels(60), toPixels(w), listHeight);
    const int top = toPixels(h + 120);
    btnDel->move(toPixels(60), top);
    btnDelAll->move(btnDel->width() + toPixels(120), top);
}

} // namespace dravonel
