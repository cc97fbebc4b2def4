#include "target_list.h"

#include "host.h"
#include "messages.h"
#include "paths.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <climits>
#include <sys/stat.h>

namespace dravonel {

PathListModel::PathListModel(QObject* parent) : QAbstractListModel(parent), selection_(this) {}

int PathListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

QVariant PathListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= entries_.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::EditRole)
        return entries_.at(index.row());
    return QVariant();
}

bool PathListModel::contains(const QString& path) const {
    return index_.contains(path);
}

bool PathListModel::isMarked(int row) const {
    return row >= 0 && row < count() && selection_.isSelected(index(row));
}

void PathListModel::setMarked(int row, bool marked) {
    if (row < 0 || row >= count())
        return;
    selection_.select(index(row),
                      marked ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void PathListModel::SelectAll() {
    if (entries_.isEmpty())
        return;
    selection_.select(QItemSelection(index(0), index(count() - 1)), QItemSelectionModel::Select);
}

void PathListModel::SelectClear() {
    selection_.clearSelection();
}

QList<int> PathListModel::markedRows() const {
    QList<int> rows;
    for (const QModelIndex& i : selection_.selectedIndexes())
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void PathListModel::setCurrent(int row) {
    if (row < 0 || row >= count())
        return;
    selection_.setCurrentIndex(index(row), QItemSelectionModel::NoUpdate);
}

int PathListModel::current() const {
    const QModelIndex i = selection_.currentIndex();
    return i.isValid() ? i.row() : -1;
}

void PathListModel::removeAll() {
    if (entries_.isEmpty() || locked_)
        return;
    beginResetModel();
    entries_.clear();
    index_.clear();
    endResetModel();
}

void PathListModel::removeEntry(int row) {
    removeRange(row, row);
}

void PathListModel::replaceEntry(int row, const QString& path) {
    if (row < 0 || row >= count() || entries_.at(row) == path || locked_)
        return;
    if (index_.contains(path)) {
        removeEntry(row);
        return;
    }
    index_.remove(entries_.at(row));
    entries_[row] = path;
    index_.insert(path);
    emit dataChanged(index(row), index(row));
}

void PathListModel::removeRange(int first, int last) {
    if (first < 0 || last >= count() || first > last || locked_)
        return;
    beginRemoveRows(QModelIndex(), first, last);
    for (int r = last; r >= first; --r)
        index_.remove(entries_.at(r));
    entries_.remove(first, last - first + 1);
    endRemoveRows();
}

void PathListModel::append(const QString& path) {
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    entries_.append(path);
    index_.insert(path);
    endInsertRows();
}

TargetList::TargetList(MessageHost* host, QObject* parent)
    : PathListModel(parent), host_(host), swapFiles_(activeSwapFiles()) {}

bool TargetList::excluded(const QString& path) const {
    // A path with a line break cannot be one line of a response or job file.
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return true;
    const QString name = UpperName(FileNameOf(path));
    if (name == QLatin1String("WIN386.SWP") || name == QLatin1String("386SPART.PAR") ||
        name == QLatin1String("PAGEFILE.SYS"))
        return true;
    return swapFiles_.contains(path);
}

bool TargetList::sameFileListed(const QString& path) const {
    const QString name = FileNameOf(path);
    if (name.isEmpty())
        return false;
    struct stat wanted;
    bool statted = false;
    for (const QString& entry : entries()) {
        // Only an entry of the same name can be the same file by that name.
        if (entry.size() <= name.size() || !entry.endsWith(name) ||
            entry.at(entry.size() - name.size() - 1) != QLatin1Char('/'))
            continue;
        if (!statted) {
            if (::stat(QFile::encodeName(path).constData(), &wanted) != 0)
                return false;
            statted = true;
        }
        struct stat listed;
        if (::stat(QFile::encodeName(entry).constData(), &listed) == 0 &&
            listed.st_dev == wanted.st_dev && listed.st_ino == wanted.st_ino)
            return true;
    }
    return false;
}

bool TargetList::holds(const QString& path) const {
    return contains(path) || (!path.isEmpty() && sameFileListed(path));
}

bool TargetList::ListInAdd(const QString& path) {
    if (isLocked())
        return false;
    if (excluded(path) || holds(path))
        return true;
    if (count() >= kCapacity) {
        if (host_)
            host_->showMessage(resDravonel(msg::TargetListFull));
        return false;
    }
    append(path);
    return true;
}

bool TargetList::Gaibu_ListInAdd(const QString& path, QString* longForm) {
    if (longForm)
        longForm->clear();
    if (path.isEmpty())
        return true;
    const QString longPath = LongPath(path);
    if (longForm)
        *longForm = longPath;
    if (longPath.isEmpty() || !CanOpenForReading(longPath))
        return true;
    return ListInAdd(longPath);
}

QString TargetList::FirstSelectedFile() const {
    const QList<int> rows = markedRows();
    return rows.isEmpty() ? QString() : entry(rows.first());
}

void TargetList::removeUnmarked() {
    // From the end, a run of unmarked rows at a time, so the rows still to be
    // looked at keep their numbers.
    int row = count() - 1;
    while (row >= 0) {
        if (isMarked(row)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && !isMarked(first - 1))
            --first;
        removeRange(first, row);
        row = first - 1;
    }
}

Qt::ItemFlags OutputList::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = PathListModel::flags(index);
    return index.isValid() ? base | Qt::ItemIsDragEnabled : base;
}

void OutputList::ListInAdd(const QString& path) {
    if (contains(path) || count() >= kCapacity)
        return;
    append(path);
}

QString unreadableReason(const QString& path) {
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return QStringLiteral("its name holds a line break");
    if (HoldsUndecodedBytes(path))
        return QStringLiteral("its name is not valid UTF-8");
    // The kernel takes no path of PATH_MAX bytes or more in one call.
    if (QFile::encodeName(path).size() >= PATH_MAX)
        return QStringLiteral("its path is longer than the system allows (%1 bytes)")
            .arg(PATH_MAX - 1);
    if (QFileInfo(path).isDir())
        return QStringLiteral("it is a folder (name the files in it)");
    if (!CanOpenForReading(path))
        return QStringLiteral("not a readable file");
    return QString();
}

QString notTakenReason(const TargetList& list, const QString& path) {
    const QString why = unreadableReason(path);
    if (!why.isEmpty())
        return why;
    if (list.count() >= TargetList::kCapacity)
        return QStringLiteral("the target list is full (%1 files)").arg(TargetList::kCapacity);
    return QStringLiteral("left out");
}

QStringList activeSwapFiles() {
    QStringList files;
    QFile swaps(QStringLiteral("/proc/swaps"));
    if (!swaps.open(QIODevice::ReadOnly | QIODevice::Text))
        return files;
    QTextStream in(&swaps);
    in.readLine(); // the column headings
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const QString name = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        // The kernel writes blanks in names as \040.
        if (!name.isEmpty())
            files.append(QString(name).replace(QStringLiteral("\\040"), QStringLiteral(" ")));
    }
    return files;
}

} // namespace dravonel
