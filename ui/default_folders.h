// The three commands of the (&D)efault menu: each configures the default-folders
// dialog for its folder, shows it, and on OK takes the folder (and for the pane
// folders the in-force flag) back into the values it was given. The values
// stay in memory; the folder panes and SaveSettings store them at exit.
#pragma once

#include <QString>

namespace dravonel {

class frmDefault;

// The default input folder ("Dir_In") and its flag ("Dir_In_Yuko").
void mnuInDirDefault_Click(frmDefault& dialog, QString& Dir_In, bool& Dir_In_Yuko);
// The default output folder ("Dir_Out") and its flag ("Dir_Out_Yuko").
void mnuOutDirDefault_Click(frmDefault& dialog, QString& Dir_Out, bool& Dir_Out_Yuko);
// The temporary folder (the option `TmpDir`).
void mnuTmpDirDefault_Click(frmDefault& dialog, QString& TmpDir);

} // namespace dravonel
