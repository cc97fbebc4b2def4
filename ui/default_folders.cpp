#include "default_folders.h"

#include "frmDefault.h"
#include "messages.h"

namespace dravonel {

namespace {

// The dialog's texts for one folder, from the message catalogue: the label,
// then the hints of the check box, drive list, folder list and folder text.
struct Texts {
    int label, checkHint, driveHint, folderHint, textHint;
};

// Sets the values in the order the dialog expects, shows it and tells whether
// it was left with OK.
bool ask(frmDefault& dialog, const Texts& texts, bool offerCheck, bool showFree,
         const QString& folder, bool yuko) {
    dialog.pstr_lblDrive_Caption = resDravonel(texts.label);
    dialog.pstr_cbxDrive_Hint = resDravonel(texts.checkHint);
    dialog.pblnYukoMukouOk = offerCheck;
    dialog.pblnDiskFreeOk = showFree;
    dialog.pstr_drvDrive_Hint = resDravonel(texts.driveHint);
    dialog.pstr_dlbDir_Hint = resDravonel(texts.folderHint);
    dialog.pstr_txtDir_Hint = resDravonel(texts.textHint);
    dialog.setDirName(folder);
    dialog.setYuko(yuko);
    dialog.exec();
    return dialog.pblnOk;
}

} // namespace

void mnuInDirDefault_Click(frmDefault& dialog, QString& Dir_In, bool& Dir_In_Yuko) {
    if (!ask(dialog,
             {msg::LabelInFolder, msg::TipInFolderLast, msg::TipDefaultInDrive,
              msg::TipDefaultInFolder, msg::TipDefaultInFolderName},
             true, false, Dir_In, Dir_In_Yuko))
        return;
    Dir_In = dialog.DirName();
    Dir_In_Yuko = dialog.Yuko();
}

void mnuOutDirDefault_Click(frmDefault& dialog, QString& Dir_Out, bool& Dir_Out_Yuko) {
    if (!ask(dialog,
             {msg::LabelOutFolder, msg::TipOutFolderLast, msg::TipDefaultOutDrive,
              msg::TipDefaultOutFolder, msg::TipDefaultOutFolderName},
             true, true, Dir_Out, Dir_Out_Yuko))
        return;
    Dir_Out = dialog.DirName();
    Dir_Out_Yuko = dialog.Yuko();
}

void mnuTmpDirDefault_Click(frmDefault& dialog, QString& TmpDir) {
    if (!ask(dialog,
             {msg::LabelTempFolder, msg::TipTempFolderLast, msg::TipTempDrive, msg::TipTempFolder,
              msg::TipTempFolderName},
             false, true, TmpDir, true))
        return;
    TmpDir = dialog.DirName();
}

} // namespace dravonel
