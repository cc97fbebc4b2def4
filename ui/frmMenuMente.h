// The folder-alias maintenance dialog: renames, reorders and deletes the
// folder aliases of one folder pane, on a copy of the pane's ten slots.
#pragma once

#include <QDialog>
#include <QString>

#include <array>

class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace dravonel {

class MessageHost;
struct Program;

class frmMenuMente : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSlots = 10;

    explicit frmMenuMente(Program& program, QWidget* parent = nullptr);

    // Placement from "MenuMente_Left"/"_Top", font, captions, tool-tips, empty
    // slots.
    void Form_Load();
    // Saves the position; at program end and when the close box is used.
    void Form_QueryUnload();

    // Stores a name and folder in a slot; an index outside 0..9 is ignored.
    void Set_Menu(int intIndex, const QString& strName, const QString& strDir);
    // Name and folder of a slot; both empty for an index outside the list.
    void Get_Menu(int intIndex, QString& strName, QString& strDir) const;
    // The number of list entries minus 1 (-1: none).
    qint16 MenuCount() const;

    void SetToolTip(bool blnToolTip);
    // Applied at load only: later font changes reach this dialog at the next start.
    void SetFontData();

    // The input and message boxes (tests answer them).
    void setPrompts(MessageHost& prompts) { prompts_ = &prompts; }

    bool pblnOk = false;
    QString pstr_Me_Caption;

    QLineEdit* txtDir;
    QListWidget* lbxMenu;
    QToolButton* btnUp;
    QToolButton* btnDown;
    QToolButton* btnDel;
    QToolButton* btnDelAll;
    QPushButton* btnName;
    QPushButton* btnOk;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Activate();
    void EnableControls();
    void lbxMenu_Click();
    void btnName_Click();
    void btnUp_Click();
    void btnDown_Click();
    void btnDel_Click();
    void btnDelAll_Click();
    void select(int index);
    void swapSlots(int a, int b);

    Program& program_;
    MessageHost* prompts_;
    std::array<QString, kSlots> names_;
    std::array<QString, kSlots> dirs_;
};

} // namespace dravonel
