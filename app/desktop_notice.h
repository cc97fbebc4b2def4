// The end of a run started from a file manager: its lines kept as a log file
// in the state folder, and a desktop notification that says how it went and
// where that log is.
#pragma once

#include <QString>
#include <QStringList>

namespace dravonel {

// Keeps `lines` as "<kind>-<date>-<pid>.log" in
// ${XDG_STATE_HOME:-~/.local/state}/dravonel2/ (UTF-8, CR LF lines, like every
// text file the program writes), each as the terminal shows it (TerminalText):
// a name cannot break a line in two or send escape sequences to a terminal
// the log is shown on. Returns its path, or "" when it could not be written.
QString keepLog(const QString& kind, const QStringList& lines);

// Shows `summary` and `body` followed by the log's place (freedesktop
// notifications over the session bus), urgent unless `ok`. A desktop without
// a notification service is told on standard error.
void notifyDesktop(const QString& summary, const QString& body, bool ok, const QString& logPath);

} // namespace dravonel
