#include "result_log.h"

#include "host.h"
#include "messages.h"
#include "terminal_text.h"

#include <QFileInfo>
#include <QSaveFile>

namespace dravonel {

ResultLog::ResultLog(QObject* parent) : QAbstractListModel(parent), selection_(this) {}

int ResultLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant ResultLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= lines_.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return lines_.at(index.row());
    return QVariant();
}

int ResultLog::current() const {
    const QModelIndex i = selection_.currentIndex();
    return i.isValid() ? i.row() : -1;
}

void ResultLog::ListInAdd(const QString& text) {
    // A file name may hold a line break of its own, escape sequences or marks
    // that reorder what follows: the log holds every line in the form that
    // shows it as one line whatever it names, which is also what is copied,
    // saved and echoed.
    const QString line = TerminalText(text);
    const int i = current();
    int next = i + 1;
    if (i > kTrimAfter) {
        beginRemoveRows(QModelIndex(), 0, 0);
        lines_.removeFirst();
        endRemoveRows();
        next = i;
    }
    const int row = int(lines_.size());
    beginInsertRows(QModelIndex(), row, row);
    lines_.append(line);
    endInsertRows();
    selection_.setCurrentIndex(index(next), QItemSelectionModel::ClearAndSelect);
    emit lineAdded(line);
}

void ResultLog::removeAll() {
    beginResetModel();
    lines_.clear();
    endResetModel();
}

QString ResultLog::clipboardText() const {
    QString text;
    for (const QString& line : lines_) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

bool ResultLog::WriteLogFile(const QString& path, MessageHost& host) const {
    if (lines_.isEmpty())
        return false;
    if (QFileInfo::exists(path) && !host.askYesNo(resAll(common_msg::LogExistsOverwrite)))
        return false;
    if (!writeTextLines(path, lines_)) {
        host.showMessage(resAll(common_msg::LogSaveFailed));
        return false;
    }
    return true;
}

bool writeTextLines(const QString& path, const QStringList& lines) {
    // Only a regular file (through links too) is replaced: the new text would
    // take the place of a named pipe or a device such as /dev/null.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QString& line : lines) {
        const QByteArray bytes = line.toUtf8() + "\r\n";
        if (file.write(bytes) != bytes.size()) {
            file.cancelWriting();
            break;
        }
    }
    return file.commit();
}

} // namespace dravonel
