// The input-file pane: the files of the input folder, to be put on the target list.
#pragma once

#include "pane.h"

class QLabel;

namespace dravonel {

class mdiInFile : public Pane {
    Q_OBJECT
public:
    mdiInFile(frmDravonel& main, Program& program, QWidget* parent = nullptr);

    QString DirName() const { return folder_; }
    void setDirName(const QString& folder);
    void RefreshForm();
    void SelectAll();
    void SelectClear();
    // Takes the file filter from the options.
    void Pattern_Make();

    bool Form_Load();
    void Form_QueryUnload() { saveGeometry(); }

private:
    QString folder_;
};

} // namespace dravonel
