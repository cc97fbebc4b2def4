#include "mdiFile.h"

#include "frmDravonel.h"
#include "messages.h"
#include "program.h"
#include "twips.h"

#include <QListView>

namespace dravonel {

mdiFile::mdiFile(frmDravonel& main, Program& program, QWidget* parent)
    : Pane(main, program, QStringLiteral("File_"),
           QStringLiteral("Dravonel2 mdiFile Form_Load ERR"), parent),
      lstFile(new QListView(this)), list_(&main) {
    setObjectName(QStringLiteral("mdiFile"));
    lstFile->setObjectName(QStringLiteral("lstFile"));
    lstFile->setModel(&list_);
    lstFile->setSelectionModel(list_.selection());
    lstFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstFile->setUniformItemSizes(true);
    addToolTip(lstFile, 3001);
    addFontTarget(lstFile);
}

void mdiFile::scrollToTop(int row) {
    lstFile->scrollTo(list_.index(row), QAbstractItemView::PositionAtTop);
}

bool mdiFile::Form_Load() {
    if (program_.AutoRunning)
        return true;
    if (!loadGeometry())
        return false;
    SetFontData();
    setWindowTitle(resDravonel(3000));
    SetToolTip(program_.options.Tip);
    return true;
}

void mdiFile::Form_Resize() {
    const double w = toTwips(width()) - 120, h = toTwips(height()) - 120;
    if (w > 0 && h > 0)
        lstFile->setGeometry(toPixels(60), toPixels(60), toPixels(w), toPixels(h));
}

} // namespace dravonel
