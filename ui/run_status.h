// The run's status in the main window's status bar: the archives done of all,
// the bytes done of all and the file in progress as a line of text, the whole
// run as a bar; and, for the automatic run, the same on a terminal's progress
// line.
#pragma once

#include "host.h"

#include <QObject>

class QLabel;
class QProgressBar;
class QStatusBar;

namespace dravonel {

class ProgressLine;

class RunStatus : public QObject {
    Q_OBJECT
public:
    explicit RunStatus(QStatusBar& bar);

    // How far a run has come, 0 to 1: its bytes where known (the finished
    // archives' files and the share done of the archive in progress), else its
    // archives.
    static double runFraction(const RunProgress& progress);

    void show(const RunProgress& progress);
    // The run is over: the line and the bar are emptied.
    void clear();
    // Where the progress also goes while a run without windows runs (null: nowhere).
    void setTerminal(ProgressLine* line) { terminal_ = line; }
    QProgressBar* bar() const { return bar_; }

private:
    QLabel* line_;
    QProgressBar* bar_;
    ProgressLine* terminal_ = nullptr;
};

} // namespace dravonel
