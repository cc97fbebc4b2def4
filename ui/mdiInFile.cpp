#include "mdiInFile.h"

#include "messages.h"
#include "program.h"

namespace dravonel {

mdiInFile::mdiInFile(frmDravonel& main, Program& program, QWidget* parent)
    : Pane(main, program, QStringLiteral("InFile_"),
           QStringLiteral("Dravonel2 mdiinFile Form_Load ERR"), parent) {
    setObjectName(QStringLiteral("mdiInFile"));
}

void mdiInFile::setDirName(const QString& folder) {
    folder_ = folder;
}

void mdiInFile::RefreshForm() {}

void mdiInFile::SelectAll() {}

void mdiInFile::SelectClear() {}

void mdiInFile::Pattern_Make() {}

bool mdiInFile::Form_Load() {
    if (program_.AutoRunning)
        return true;
    if (!loadGeometry())
        return false;
    SetFontData();
    setWindowTitle(resDravonel(2000));
    SetToolTip(program_.options.Tip);
    return true;
}

} // namespace dravonel
