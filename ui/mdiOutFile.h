// The output-file pane: the archives the runs made.
#pragma once

#include "pane.h"
#include "target_list.h"

class QListView;

namespace dravonel {

class mdiOutFile : public Pane {
    Q_OBJECT
public:
    mdiOutFile(frmDravonel& main, Program& program, QWidget* parent = nullptr);

    OutputList& list() { return list_; }

    bool Form_Load();
    void Form_QueryUnload() { saveGeometry(); }
    void Form_Resize() override;

    QListView* lstOutFile;

private:
    OutputList list_;
};

} // namespace dravonel
