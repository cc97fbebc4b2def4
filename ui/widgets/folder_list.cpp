#include "folder_list.h"

#include "paths.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace dravonel {

namespace {

constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kPathRole = Qt::UserRole + 2;
constexpr int kIndentPixels = 12;

// Shifts every entry right by its depth in the folder tree.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

private:
    static int indent(const QModelIndex& index) {
        return index.data(kDepthRole).toInt() * kIndentPixels;
    }
};

// The visible subfolders of a folder sorted by name, or false when the folder
// cannot be opened and listed.
bool listSubfolders(const QString& folder, QStringList& subfolders) {
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    QDir dir(folder);
    subfolders.clear();
    for (const QString& name :
         dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
        subfolders.append(dir.filePath(name));
    return true;
}

// The root and every folder from it down to `folder`.
QStringList chainOf(const QString& folder) {
    QStringList chain{QStringLiteral("/")};
    QString current;
    for (const QString& part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + part;
        chain.append(current);
    }
    return chain;
}

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { setPath(item->data(kPathRole).toString()); });
}

bool FolderList::setPath(const QString& folder) {
    if (folder.isEmpty())
        return false;
    // The folder as the kernel finds it: ".." after a link leads where the
    // link points, and a name in another letter case is another folder.
    const QString target = LongPath(AbsolutePath(folder));
    QStringList subfolders;
    if (!listSubfolders(target, subfolders))
        return false;
    const bool changed = target != path_;
    fill(target, subfolders);
    if (changed)
        emit pathChanged(path_);
    return true;
}

int FolderList::listIndex() const {
    const int row = currentRow();
    return row < 0 ? -1 : row - int(chain_.size());
}

void FolderList::setListIndex(int index) {
    const int row = index + int(chain_.size());
    if (row >= 0 && row < count())
        setCurrentRow(row);
}

QString FolderList::entry(int index) const {
    if (index < 0) {
        const qsizetype i = chain_.size() + index;
        return i >= 0 ? chain_[i] : QString();
    }
    return index < subfolders_.size() ? subfolders_[index] : QString();
}

void FolderList::refresh() {
    if (path_.isEmpty())
        return;
    QString folder = path_;
    QStringList subfolders;
    while (!listSubfolders(folder, subfolders)) {
        if (folder == QLatin1String("/"))
            return;
        folder = QFileInfo(folder).path();
    }
    const bool changed = folder != path_;
    fill(folder, subfolders);
    if (changed)
        emit pathChanged(path_);
}

void FolderList::fill(const QString& folder, const QStringList& subfolders) {
    path_ = folder;
    chain_ = chainOf(folder);
    subfolders_ = subfolders;

    const QIcon open = QIcon::fromTheme(QStringLiteral("folder-open"),
                                        style()->standardIcon(QStyle::SP_DirOpenIcon));
    const QIcon closed =
        QIcon::fromTheme(QStringLiteral("folder"), style()->standardIcon(QStyle::SP_DirClosedIcon));
    const auto add = [this](const QIcon& icon, const QString& text, const QString& full,
                            int depth) {
        auto* item = new QListWidgetItem(icon, text, this);
        item->setData(kDepthRole, depth);
        item->setData(kPathRole, full);
    };

    clear();
    for (int k = 0; k < chain_.size(); ++k)
        add(open, k == 0 ? chain_[k] : QFileInfo(chain_[k]).fileName(), chain_[k], k);
    for (const QString& sub : subfolders_)
        add(closed, QFileInfo(sub).fileName(), sub, int(chain_.size()));
    setCurrentRow(int(chain_.size()) - 1);
    scrollToItem(currentItem());
}

void FolderList::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    // However short the list gets, the highlighted folder stays in view.
    if (currentItem())
        scrollToItem(currentItem());
}

void FolderList::openEntry(int index) {
    const QString target = entry(index);
    if (!target.isEmpty())
        setPath(target);
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openEntry(listIndex());
        return;
    case Qt::Key_Backspace:
        openEntry(listIndex() - 1);
        return;
    default:
        QListWidget::keyPressEvent(event);
    }
}

} // namespace dravonel
