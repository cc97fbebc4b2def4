#include "terminal_text.h"

#include "paths.h"

namespace dravonel {

QString TerminalText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t code = text.at(i).unicode();
        // A byte of a name that was not UTF-8 shows as its own value.
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || IsUndecodedByteAt(text, i))
            out += QStringLiteral("\\%1").arg(uint(code & 0xFF), 3, 8, QLatin1Char('0'));
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
