// The options dialog: the compression method, archive format, double-compression
// pattern, file-name and hidden-file options, the automatic run, pane resizing
// and tool-tips. It edits copies in its controls; the option set changes only
// when the user confirms with 設定.
#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;

namespace dravonel {

class DialogHost;
struct Program;

class frmOption : public QDialog {
    Q_OBJECT
public:
    frmOption(Program& program, DialogHost& host, QWidget* parent = nullptr);

    // Placement from "Option_Left"/"Option_Top", font, captions and tool-tips.
    void Form_Load();
    // Saves the position; at program end and when the close box is used.
    void Form_QueryUnload();

    void SetToolTip(bool blnToolTip);
    void SetFontData();

    QCheckBox* ckbHiddn;
    QCheckBox* ckbUCase;
    QLabel* lblAshuku;
    QFrame* pnlAshuku;
    std::array<QRadioButton*, 3> obtAshuku;
    QCheckBox* ckbDouble;
    QLabel* lblAshukuExe;
    QFrame* pnlAshukuExe;
    std::array<QRadioButton*, 2> obtAshukuExe;
    QLabel* lblPattern;
    QFrame* pnlPattern;
    std::array<QRadioButton*, 4> obtPattern;
    QCheckBox* ckbAuto;
    QFrame* pnlAuto;
    std::array<QRadioButton*, 4> obtExe;
    QCheckBox* ckbLog;
    QCheckBox* ckbResize;
    QCheckBox* ckbTip;
    QPushButton* btnInit;
    QPushButton* btnCancel;
    QPushButton* btnOk;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Activate();
    void Option_Load();
    void Option_Save();
    void Option_Init();
    void Ashuku_Visible();
    void Auto_Visible();
    void Zip_Enabled();
    void btnOk_Click();
    void obtExe_Click();

    Program& program_;
    DialogHost& host_;
};

} // namespace dravonel
