// The result-log pane: the log of every run, which the user can clear, copy to
// the clipboard or save as a log file.
#pragma once

#include "pane.h"
#include "result_log.h"

class QListView;
class QAction;

namespace dravonel {

class WholeLineDelegate;

class mdiStatus : public Pane {
    Q_OBJECT
public:
    mdiStatus(frmDravonel& main, Program& program, QWidget* parent = nullptr);

    ResultLog& log() { return log_; }
    void ListInAdd(const QString& line) { log_.ListInAdd(line); }
    // Removes every line.
    void RefreshForm() { log_.removeAll(); }
    // Copies every line, each followed by CR LF, to the clipboard (an empty log
    // empties the clipboard).
    void LogCopy();
    // Asks for a file name and writes the log there.
    void LogSave();
    void mnuDel_Click() { log_.removeAll(); }

    // The settings font, and the line widths measured again in it.
    void SetFontData() override;
    void Form_Load() override;
    void Form_Resize() override;

    QListView* lstKekka;
    QAction* mnuDel;

private:
    ResultLog log_;
    WholeLineDelegate* widths_;
};

// Turns a filter of the message tables ("Name(*.EXT)|*.EXT|...") into file
// dialog filters whose patterns match the extensions in any letter case.
QStringList dialogFilters(const QString& tableFilter);

} // namespace dravonel
