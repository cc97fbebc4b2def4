// One line on a terminal kept up to date while a long command works: the
// items (archives or members) done of all, the bytes done of all and the
// current name, redrawn in place and cleared at the end. Nothing at all is
// written when the stream is not a terminal, so logs and pipes stay clean.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace dravonel {

class ProgressLine {
public:
    explicit ProgressLine(FILE* stream);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool active() const { return tty_; }
    // Shows "[done/all] bytes/bytes name", cut to the terminal's width. The
    // first call draws at once; later ones at most ten times a second.
    void show(int done, int all, quint64 bytesDone, quint64 bytesAll, const QString& name);
    // Removes the line (before other output, and at the end).
    void clear();

private:
    FILE* stream_;
    bool tty_;
    bool shown_ = false;
    QElapsedTimer sinceDrawn_;
};

// A byte count for people: "512 B", "1.5 KiB", "12.3 MiB", "1.02 GiB".
QString byteText(quint64 bytes);

} // namespace dravonel
