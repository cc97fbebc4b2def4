// The target-list pane: the files the next run compresses. Files dropped from
// a file manager (file URLs) are added in the order given.
#pragma once

#include "pane.h"
#include "target_list.h"

class QAction;
class QListView;
class QMimeData;
class QToolButton;

namespace dravonel {

class mdiFile : public Pane {
    Q_OBJECT
public:
    mdiFile(frmDravonel& main, Program& program, QWidget* parent = nullptr);

    TargetList& list() { return list_; }
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
    QString firstSelectedFolder() const;

    TargetList list_;
};

} // namespace dravonel
