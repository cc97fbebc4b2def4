// The main window's commands that go through a system dialog or the desktop:
// the job-file dialogs, the font dialog and the help page.
#pragma once

#include <QFont>
#include <QString>

class QWidget;

namespace dravonel {

class MessageHost;
class Session;
struct OptionSet;

// The job-file dialog (open or save) starting on `initial`; the chosen file,
// or "" when the dialog was cancelled.
QString jobFileDialog(QWidget* parent, bool save, const QString& initial);

// (&O)pen: the open dialog on the session's job file; a chosen file becomes
// the job name and the job is read from it (LoadDvf). False when cancelled.
bool openJob(QWidget* parent, Session& session, MessageHost& host);
// (&S)ave writes the job to its file, asking for a name only when it has
// none; Save(&A)s (`saveAs`) asks first. A chosen name becomes the job name
// even when writing fails.
void saveJob(QWidget* parent, Session& session, MessageHost& host, bool saveAs);

// The font dialog on the face the windows show for `current`, the font the
// settings describe. When the choice differs from the font settings, they take
// it (sizes above `largest` points as `largest`) and the result is true.
bool chooseFont(QWidget* parent, QFont current, OptionSet& options, long largest);

// Opens the help page in the desktop's viewer; without a viewer, or without
// the page, `host` says where the page is.
void openHelpPage(QWidget* parent, MessageHost& host);

} // namespace dravonel
