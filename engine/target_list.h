// The target list: the files the next run compresses, with their selection
// marks (the run's work queue), and the output list of archives made.
#pragma once

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QSet>
#include <QStringList>

namespace dravonel {

class MessageHost;

// A list of unique full paths in insertion order, whose selection model holds
// the marks and the current item. Views show the model with this selection
// model, so the marks are what the user sees selected.
class PathListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PathListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    QItemSelectionModel* selection() { return &selection_; }
    int count() const { return int(entries_.size()); }
    QString entry(int row) const { return entries_.value(row); }
    const QStringList& entries() const { return entries_; }
    bool contains(const QString& path) const;

    bool isMarked(int row) const;
    void setMarked(int row, bool marked);
    void SelectAll();
    void SelectClear();
    // The entries that carry a mark, lowest row first.
    QList<int> markedRows() const;
    // Makes `row` the current item (the highlight) without changing marks.
    void setCurrent(int row);
    int current() const;

    // While locked (a run holds the list) entries can be neither added, removed
    // nor replaced; marks and the current item still change.
    void setLocked(bool locked) { locked_ = locked; }
    bool isLocked() const { return locked_; }

    // Empties the list.
    void removeAll();
    void removeEntry(int row);
    // Puts `path` in place of the entry at `row`. When another entry already
    // holds `path`, the row is removed instead, so entries stay unique.
    void replaceEntry(int row, const QString& path);

protected:
    void append(const QString& path);
    // Removes rows first..last (inclusive).
    void removeRange(int first, int last);

private:
    QStringList entries_;
    QSet<QString> index_;
    QItemSelectionModel selection_;
    bool locked_ = false;
};

// The files of the next run: at most 1000, never a swap file, never a path
// that could not be written as one line of a response or job file.
class TargetList : public PathListModel {
    Q_OBJECT
public:
    static constexpr int kCapacity = 1000;

    explicit TargetList(MessageHost* host = nullptr, QObject* parent = nullptr);
    void setMessageHost(MessageHost* host) { host_ = host; }

    // Adds one full path as given. False when the list is full (after showing
    // the limit message) or locked; a duplicate or an excluded path is ignored
    // and gives true. A path that reaches a listed file under the same name
    // through links ("/a/link/f.txt" beside "/b/f.txt") is a duplicate too:
    // an archive holds the file once by its name.
    bool ListInAdd(const QString& path);
    // Whether `path` is listed, as it is or as the same file of that name.
    bool holds(const QString& path) const;
    // Adds a path from outside the program: taken in its long form, and only
    // when it names a file that can be read. False only when ListInAdd is.
    // `longForm`, when given, receives that long form ("" when there is none),
    // for a caller that looks for the path on the list afterwards.
    bool Gaibu_ListInAdd(const QString& path, QString* longForm = nullptr);
    // The lowest-indexed marked entry, or "".
    QString FirstSelectedFile() const;
    // Removes every unmarked entry, keeping the order of the rest.
    void removeUnmarked();

    // The system's active swap files, which never go on the list (read from
    // /proc/swaps when the list is made; tests may set their own).
    void setActiveSwapFiles(const QStringList& paths) { swapFiles_ = paths; }

private:
    bool excluded(const QString& path) const;
    bool sameFileListed(const QString& path) const;

    MessageHost* host_;
    QStringList swapFiles_;
};

// The archives the runs made: at most 1000, further adds dropped silently.
class OutputList : public PathListModel {
    Q_OBJECT
public:
    static constexpr int kCapacity = 1000;
    using PathListModel::PathListModel;

    void ListInAdd(const QString& path);
    // Entries can be dragged out of a view.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
};

// The active swap files listed in /proc/swaps.
QStringList activeSwapFiles();

// Why `path`, named from outside the program, is not a file to archive, or
// "": a line break in it, a name that is not valid UTF-8, a path too long for
// the kernel, a folder, not a file that can be read.
QString unreadableReason(const QString& path);
// Why Gaibu_ListInAdd left `path` off `list`: its unreadableReason, else the
// list's limit when the list is full, else left out (an active swap file, a
// path without long form).
QString notTakenReason(const TargetList& list, const QString& path);

} // namespace dravonel
