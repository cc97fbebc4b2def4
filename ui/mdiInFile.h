// The input-file pane: the files of the input folder through the filter, put
// on the target list by three buttons (selected, all, all with the immediate
// subfolders).
//
// The filter is a list of wildcard patterns separated by ";" ("*" any run of
// characters, "?" one character), matched without regard to letter case; a
// pattern "name.*" also matches "name" without extension, so "*.*" lists
// every file. A filter is rejected when it names a folder (it contains "/"),
// holds a control character, or has no pattern at all (only ";" and blanks).
#pragma once

#include "pane.h"

#include <QStringList>

class QListWidget;
class QToolButton;

namespace dravonel {

class MessageHost;

// True when `filter` is one the listing accepts (see above).
bool filterValid(const QString& filter);
// The names of the files in `folder` that match `filter`, sorted by name;
// dot-files only when `hidden` is true. Only regular files are listed (links
// followed): never a folder, a named pipe, a device or a dangling link.
QStringList listFiles(const QString& folder, const QString& filter, bool hidden);

class mdiInFile : public Pane {
    Q_OBJECT
public:
    // The pane lists the input folder that the session's folder view lists.
    mdiInFile(Session& session, Program& program, MessageHost& prompts, QWidget* parent = nullptr);

    // The long form of the folder shown ("" when it has none).
    QString DirName() const;
    // Shows a folder; one that cannot be listed gives the process's current folder.
    void setDirName(const QString& folder);
    // Lists the folder again and clears the selection.
    void RefreshForm();
    void SelectAll();
    void SelectClear();
    // Applies the hidden-file option and lists the folder again.
    void Pattern_Make();

    void Form_Load() override;
    void Form_Resize() override;
    QSize minimumContentSize() const override;

    void btnAdd_Click();
    void btnAddAll_Click();
    void btnAddAllAll_Click();
    void mnuFilter_Click();

    // The folder shown, as it was set.
    QString folder() const { return folder_; }

    QListWidget* filFile;
    QToolButton* btnAdd;
    QToolButton* btnAddAll;
    QToolButton* btnAddAllAll;
    QAction* mnuFilter;
    QAction* mnuRefresh;
    QAction* mnuAll;
    QAction* mnuClear;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addListed(bool selectedOnly);
    // Lists the folder with the current filter; a rejected filter gives false.
    bool fill();
    void setFilter(const QString& filter);

    QString folder_;
    bool hidden_ = false;
};

} // namespace dravonel
