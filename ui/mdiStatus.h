// The result-log pane: the session's log of every run, which the user can
// clear, copy to the clipboard or save as a log file.
#pragma once

#include "pane.h"
#include "session.h"

class QListView;
class QAction;

namespace dravonel {

class WholeLineDelegate;

class mdiStatus : public Pane {
    Q_OBJECT
public:
    mdiStatus(Session& session, Program& program, MessageHost& prompts, QWidget* parent = nullptr);

    // The log the pane shows: the session's.
    ResultLog& log() { return session_.log(); }
    void ListInAdd(const QString& line) { log().ListInAdd(line); }
    // Removes every line.
    void RefreshForm() { log().removeAll(); }
    // Copies the log to the clipboard (copyLog).
    void LogCopy();
    // Asks for a file name and writes the log there.
    void LogSave();
    void mnuDel_Click() { log().removeAll(); }

    // The settings font, and the line widths measured again in it.
    void SetFontData() override;
    void Form_Load() override;
    void Form_Resize() override;

    QListView* lstKekka;
    QAction* mnuDel;

private:
    WholeLineDelegate* widths_;
};

// Copies every line, each followed by CR LF, to the clipboard (an empty log
// empties the clipboard).
void copyLog(const ResultLog& log);

// Turns a filter of the message tables ("Name(*.EXT)|*.EXT|...") into file
// dialog filters whose patterns match the extensions in any letter case.
QStringList dialogFilters(const QString& tableFilter);

} // namespace dravonel
