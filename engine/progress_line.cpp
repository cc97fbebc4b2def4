#include "progress_line.h"

#include "terminal_text.h"

#include <QList>

#include <sys/ioctl.h>
#include <unistd.h>

namespace dravonel {

namespace {

// Columns a character takes on a terminal: two for the East Asian wide and
// full-width ranges, one for the others.
int columnsOf(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

// `text` cut so that it takes at most `columns` columns.
QString fitted(const QString& text, int columns) {
    QString out;
    int used = 0;
    for (const char32_t c : text.toUcs4()) {
        used += columnsOf(c);
        if (used > columns)
            break;
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

} // namespace

QString byteText(quint64 bytes) {
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 2 : 1).arg(units[unit]);
}

ProgressLine::ProgressLine(FILE* stream) : stream_(stream), tty_(::isatty(::fileno(stream)) == 1) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::show(int done, int all, quint64 bytesDone, quint64 bytesAll,
                        const QString& name) {
    if (!tty_ || (shown_ && sinceDrawn_.isValid() && sinceDrawn_.elapsed() < 100))
        return;
    sinceDrawn_.start();
    struct winsize size = {};
    const int columns =
        ::ioctl(::fileno(stream_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    const QString head = QStringLiteral("[%1/%2] %3 / %4 ")
                             .arg(done)
                             .arg(all)
                             .arg(byteText(bytesDone), byteText(bytesAll));
    // One column stays free, so the cursor never wraps to a new line.
    const QByteArray line =
        "\r" + fitted(head + TerminalText(name), columns - 1).toUtf8() + "\x1b[K";
    std::fwrite(line.constData(), 1, size_t(line.size()), stream_);
    std::fflush(stream_);
    shown_ = true;
}

void ProgressLine::clear() {
    if (!shown_)
        return;
    std::fputs("\r\x1b[K", stream_);
    std::fflush(stream_);
    shown_ = false;
}

} // namespace dravonel
