// What the engine asks of whoever shows it: the windows, a terminal, or a test.
#pragma once

#include <QString>
#include <QtGlobal>

namespace dravonel {

// How the program asks the user: message boxes (no icon, the program's title,
// the buttons named) and input boxes. Every window and the run ask through it.
class MessageHost {
public:
    virtual ~MessageHost() = default;
    // An OK box.
    virtual void showMessage(const QString& text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& text) = 0;
    // An input box with a prompt (a carriage return starts a new line), a
    // title and a proposed answer; "" for Cancel. A host that cannot ask (a
    // terminal) answers as Cancel.
    virtual QString inputBox(const QString& prompt, const QString& title, const QString& proposed) {
        Q_UNUSED(prompt);
        Q_UNUSED(title);
        Q_UNUSED(proposed);
        return QString();
    }
};

// Where a compression run stands, for a progress display.
struct RunProgress {
    QString member;           // the file being stored ("" between calls)
    quint64 done = 0;         // bytes done of the current call
    quint64 total = 0;        // bytes of the current call
    int archive = 0;          // 1-based number of the archive being made
    int archiveCount = 0;     // archives the run expects to make (0: unknown)
    QString archivePath;      // the archive being made
    quint64 archiveBytes = 0; // bytes of the files of the archive being made
    quint64 runDone = 0;      // bytes of the files whose archives are finished (made or not)
    quint64 runTotal = 0;     // bytes of all the files the run takes (0: unknown)
};

// The run's only way to the user interface.
class RunHost : public MessageHost {
public:
    // Disables the mode buttons, the panes and their menus, enables cancel.
    virtual void lockInterface() = 0;
    // The reverse, in the same order; ends with the mode-button rule.
    virtual void unlockInterface() = 0;
    // Lets the event loop handle what is pending (a press of the cancel button).
    virtual void yield() = 0;
    // The job's archive name for the normal mode.
    virtual QString archiveName() = 0;
    // Prompts for the archive name (it may stay empty) and returns it.
    virtual QString askArchiveName() = 0;
    // Scrolls the target list so that `row` is its top line.
    virtual void scrollTargetToTop(int row) = 0;
    // Progress of the archive being made; called on the host's own thread.
    virtual void progress(const RunProgress& progress) = 0;
    // The run is over (idle again): clears the progress display.
    virtual void runFinished() = 0;
};

} // namespace dravonel
