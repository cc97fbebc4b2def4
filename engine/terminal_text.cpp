#include "terminal_text.h"

namespace dravonel {

QString TerminalText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            out += QStringLiteral("\\%1").arg(uint(code), 3, 8, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void printTerminalLine(FILE* stream, const QString& text) {
    const QByteArray bytes = TerminalText(text).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace dravonel
