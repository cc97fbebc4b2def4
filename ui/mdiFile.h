// The target-list pane: the session's target list, the files the next run
// compresses. Files dropped from a file manager (file URLs) are added in the
// order given.
#pragma once

#include "pane.h"
#include "session.h"

class QAction;
class QListView;
class QMimeData;
class QToolButton;

namespace dravonel {

class mdiFile : public Pane {
    Q_OBJECT
public:
    mdiFile(Session& session, Program& program, MessageHost& prompts, QWidget* parent = nullptr);

    // The list the pane shows: the session's target list.
    TargetList& list() { return session_.targets(); }
    // Scrolls the list so that `row` is its top line.
    void scrollToTop(int row);

    void Form_Load() override;
    void Form_Resize() override;
    QSize minimumContentSize() const override;

    void btnDel_Click();
    void btnDelAll_Click();
    void mnuInCopy_Click();
    void mnuOutCopy_Click();
    // Adds the files of dropped data through Gaibu_ListInAdd, stopping at the
    // first refusal; then the mode buttons follow the list.
    void dropFiles(const QMimeData& data);
    QWidget* focusControl() const override;

    QListView* lstFile;
    QToolButton* btnDel;
    QToolButton* btnDelAll;
    QAction* mnuAll;
    QAction* mnuClear;
    QAction* mnuOutCopy;
    QAction* mnuInCopy;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The folder of the first marked entry ("" when none is marked).
    QString firstSelectedFolder();
};

} // namespace dravonel
