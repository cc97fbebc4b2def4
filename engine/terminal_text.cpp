#include "terminal_text.h"

#include "paths.h"

namespace dravonel {

namespace {

// A line or paragraph separator, or a mark that turns the direction of the
// text after it: shown, one line would look like two, or a name like another.
bool breaksOrTurns(char16_t code) {
    return code == 0x2028 || code == 0x2029 || code == 0x061C || code == 0x200E || code == 0x200F ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

} // namespace

QString TerminalText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t code = text.at(i).unicode();
        // A byte of a name that was not UTF-8 shows as its own value.
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || IsUndecodedByteAt(text, i))
            out += QStringLiteral("\\%1").arg(uint(code & 0xFF), 3, 8, QLatin1Char('0'));
        else if (breaksOrTurns(code))
            out += QStringLiteral("\\u") +
                   QString::number(uint(code), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        else
            out += text.at(i);
    }
    return out;
}

void printTerminalLine(FILE* stream, const QString& text) {
    const QByteArray bytes = TerminalText(text).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace dravonel
