// The About box: the program's name, description and version, and the versions
// of the archiver modules found at start. Filled once when it loads; every
// later showing shows the same content.
#pragma once

#include <QDialog>
#include <QString>

#include <array>

class QLabel;
class QPushButton;

namespace dravonel {

struct Program;

// A module version in hundredths as text with two decimals: 100 gives "1.00",
// 7 gives "0.07".
QString FormatVersion(int v);

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(Program& program, QWidget* parent = nullptr);

    // Position, font, texts and the module rows from the library state. A
    // failure empties the module rows and is not reported.
    void Form_Load();
    // Writes "About_Left"/"About_Top".
    void Form_QueryUnload();
    void SetFontData();

    QLabel* imgAbout;
    QLabel* lblAboutProgName;
    QLabel* lblAboutTitle;
    QLabel* lblAboutVersion;
    std::array<QLabel*, 3> lblProg;
    std::array<QLabel*, 3> lblVer;
    QPushButton* btnOK;

private:
    Program& program_;
};

} // namespace dravonel
