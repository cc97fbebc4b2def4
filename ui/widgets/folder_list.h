// The folder list of the folder windows, in the manner of the classic folder
// list control: the open folder's ancestors from the root down, the open
// folder itself, then its subfolders sorted by name. Hidden (dot) folders are
// not listed.
//
// Entries are addressed by list index as in that control: the open folder is
// -1, its parent -2 and so on up to the root; the subfolders are 0 to
// listCount() - 1.
#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

namespace dravonel {

class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    // The open folder (absolute, cleaned, no trailing separator except "/";
    // symbolic links kept as given).
    QString path() const { return path_; }
    // Opens a folder. A relative path is taken from the process's current
    // folder. Returns false, leaving the list as it was, when `folder` is not a
    // folder that can be listed. pathChanged is signalled when the open folder
    // changes.
    bool setPath(const QString& folder);

    // The list index of the highlighted entry (-1: the open folder).
    int listIndex() const;
    void setListIndex(int index);
    // Number of subfolders of the open folder.
    int listCount() const { return int(subfolders_.size()); }
    // Full path of the entry at a list index; "" for an index outside the list.
    QString entry(int index) const;

    // Lists the open folder again; when it has gone, opens the nearest
    // ancestor that still exists.
    void refresh();

signals:
    void pathChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fill(const QString& folder, const QStringList& subfolders);
    void openEntry(int index);

    QString path_;
    QStringList chain_;      // root .. open folder
    QStringList subfolders_; // full paths, sorted by name
};

} // namespace dravonel
