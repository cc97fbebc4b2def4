#include "mdiOutFile.h"

#include "messages.h"
#include "program.h"
#include "twips.h"

#include <QListView>

namespace dravonel {

mdiOutFile::mdiOutFile(frmDravonel& main, Program& program, QWidget* parent)
    : Pane(main, program, QStringLiteral("OutFile_"),
           QStringLiteral("Dravonel2 mdiOutFile Form_Load ERR"), parent),
      lstOutFile(new QListView(this)) {
    setObjectName(QStringLiteral("mdiOutFile"));
    lstOutFile->setObjectName(QStringLiteral("lstOutFile"));
    lstOutFile->setModel(&list_);
    lstOutFile->setSelectionModel(list_.selection());
    lstOutFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstOutFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    addToolTip(lstOutFile, 6001);
    addFontTarget(lstOutFile);
}

bool mdiOutFile::Form_Load() {
    if (program_.AutoRunning)
        return true;
    if (!loadGeometry())
        return false;
    SetFontData();
    setWindowTitle(resDravonel(6000));
    SetToolTip(program_.options.Tip);
    return true;
}

void mdiOutFile::Form_Resize() {
    const double w = toTwips(width()) - 120, h = toTwips(height()) - 120;
    if (w > 0 && h > 0)
        lstOutFile->setGeometry(toPixels(60), toPixels(60), toPixels(w), toPixels(h));
}

} // namespace dravonel
