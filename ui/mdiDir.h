// The input and output folder panes: one class in two roles.
#pragma once

#include "pane.h"

class QLineEdit;

namespace dravonel {

class mdiDir : public Pane {
    Q_OBJECT
public:
    enum class Role { In, Out };
    mdiDir(frmDravonel& main, Program& program, Role role, QWidget* parent = nullptr);

    Role role() const { return role_; }
    // The long form of the open folder ("" when it has none).
    QString DirName() const;
    // Opens a folder; one that cannot be opened gives the process's current folder.
    void setDirName(const QString& folder);
    void RefreshForm();
    // The default folder and whether it is in force ("Dir_In"/"Dir_In_Yuko" and
    // the output twins), kept in memory and stored at exit.
    QString& defaultFolder() { return defaultFolder_; }
    bool& Yuko() { return yuko_; }

    bool Form_Load();
    void Form_QueryUnload() { saveGeometry(); }
    void Form_Resize() override;
    // The control that takes the keyboard focus at the first activation.
    QWidget* focusControl() const;

private:
    Role role_;
    QString folder_;
    QString defaultFolder_;
    bool yuko_ = true;
    QLineEdit* txtDir;
};

} // namespace dravonel
