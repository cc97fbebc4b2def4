// The make-folder command: asks for a name, checks it, creates one folder
// inside the output folder and moves the output-folder pane into it.
#pragma once

#include <QString>

namespace dravonel {

class DialogHost;
class MessageHost;

// M(&k)dir: a new folder in the output folder, which the output pane then shows;
// the input pane is refreshed so that a folder made beside it shows up there.
void mnuMkdir_Click(DialogHost& host, MessageHost& prompts);

// Creates the folder the user names inside `parent` (one level) and checks
// that it can be entered. The full path of the new folder, or "" when nothing
// was created (after a message saying why, unless the user cancelled). The
// process's current folder is the same afterwards.
QString MakeFolder(const QString& parent, MessageHost& prompts);

// The name typed into the input box, when CheckFolderName accepts it; else "".
QString AskFolderName(const QString& parent, MessageHost& prompts);

// Whether a folder name may be used, tested in this order: not empty; no
// separator except one at the very end (and no backslash at all); no "*"; no
// "?"; no "." as first or last character. The first failing test shows its
// message and gives false.
bool CheckFolderName(const QString& name, MessageHost& prompts);

} // namespace dravonel
