// The default-folders dialog: edits one folder setting at a time (the default
// input folder, the default output folder or the temporary folder) and, for
// the two pane folders, whether the default is in force at start (`Yuko`).
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QFrame;
class QPushButton;

namespace dravonel {

class DialogHost;
class DriveList;
class FolderList;
struct Program;

class frmDefault : public QDialog {
    Q_OBJECT
public:
    frmDefault(Program& program, DialogHost& host, QWidget* parent = nullptr);

    // Geometry from the "Default_*" keys (a spoilt value gives its default),
    // font, title, captions, public values reset.
    void Form_Load();
    // Saves the geometry; at program end and when the close box is used.
    void Form_QueryUnload();

    // The long form of the open folder ("" on failure); writing opens a folder,
    // or the process's current folder when it cannot be opened.
    QString DirName() const;
    void setDirName(const QString& folder);
    // Whether the check box is ticked; writing applies the enabling rule.
    bool Yuko() const;
    void setYuko(bool value);

    void RefreshForm();
    void SetToolTip(bool blnToolTip);
    void SetFontData();

    bool pblnOk = false;
    QString pstr_lblDrive_Caption;
    QString pstr_cbxDrive_Hint;
    QString pstr_drvDrive_Hint;
    QString pstr_dlbDir_Hint;
    QString pstr_txtDir_Hint;
    bool pblnYukoMukouOk = true;
    bool pblnDiskFreeOk = true;

    QFrame* pnlDefault;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QCheckBox* cbxDrive;
    QLabel* lblDrive;
    DriveList* drvDrive;
    FolderList* dlbDir;
    QLineEdit* txtDir;
    QMenu* mnuPopup;
    QAction* mnuInDir;
    QAction* mnuOutDir;
    QAction* mnuTmp;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Activate();
    void Form_Resize();
    void EnableControls();
    void UpdateDisplay();
    void drvDrive_Change(const QString& root);

    Program& program_;
    DialogHost& host_;
};

} // namespace dravonel
