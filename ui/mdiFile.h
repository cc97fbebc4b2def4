// The target-list pane: the files the next run compresses.
#pragma once

#include "pane.h"
#include "target_list.h"

class QListView;

namespace dravonel {

class mdiFile : public Pane {
    Q_OBJECT
public:
    mdiFile(frmDravonel& main, Program& program, QWidget* parent = nullptr);

    TargetList& list() { return list_; }
    // Scrolls the list so that `row` is its top line.
    void scrollToTop(int row);

    bool Form_Load();
    void Form_QueryUnload() { saveGeometry(); }
    void Form_Resize() override;

    QListView* lstFile;

private:
    TargetList list_;
};

} // namespace dravonel
