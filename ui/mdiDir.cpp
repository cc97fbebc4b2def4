#include "mdiDir.h"

#include "frmDravonel.h"
#include "mdiInFile.h"
#include "messages.h"
#include "paths.h"
#include "program.h"
#include "twips.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace dravonel {

mdiDir::mdiDir(frmDravonel& main, Program& program, Role role, QWidget* parent)
    : Pane(main, program, role == Role::In ? QStringLiteral("InDir_") : QStringLiteral("OutDir_"),
           role == Role::In ? QStringLiteral("Dravonel2 mdiinDir Form_Load ERR")
                            : QStringLiteral("Dravonel2 mdiOutDir Form_Load ERR"),
           parent),
      role_(role), folder_(QDir::currentPath()), txtDir(new QLineEdit(this)) {
    setObjectName(role == Role::In ? QStringLiteral("mdiInDir") : QStringLiteral("mdiOutDir"));
    txtDir->setReadOnly(true);
    addToolTip(txtDir, role == Role::In ? 1003 : 4003);
    addFontTarget(txtDir);
    addPopupTarget(txtDir);
}

QString mdiDir::DirName() const {
    return LongPath(folder_);
}

void mdiDir::setDirName(const QString& folder) {
    folder_ = QFileInfo(folder).isDir() ? folder : QDir::currentPath();
    RefreshForm();
}

void mdiDir::RefreshForm() {
    txtDir->setText(ShortPath(LongPath(folder_)));
    if (role_ == Role::Out && !program_.AutoRunning)
        setWindowTitle(resDravonel(4000) + FreeSpaceText(folder_));
    if (role_ == Role::In && main_.inFile())
        main_.inFile()->setDirName(folder_);
}

bool mdiDir::Form_Load() {
    setDirName(QDir::currentPath());
    if (program_.AutoRunning)
        return true;
    if (!loadGeometry())
        return false;
    SetFontData();
    if (role_ == Role::In)
        setWindowTitle(resDravonel(1000));
    SetToolTip(program_.options.Tip);
    return true;
}

void mdiDir::Form_Resize() {
    const double w = toTwips(width()) - 120;
    if (w > 0)
        txtDir->setGeometry(toPixels(60), toPixels(60), toPixels(w), txtDir->sizeHint().height());
}

QWidget* mdiDir::focusControl() const {
    return txtDir;
}

} // namespace dravonel
