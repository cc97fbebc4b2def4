// Text on its way to a terminal. A file name may hold any byte but "/" and
// NUL, escape sequences included: printed as it is, a hostile name could move
// the cursor, erase the lines above or forge new ones. Everything the program
// prints on standard output and standard error goes through here; the window
// shows names as they are.
#pragma once

#include <QString>

#include <cstdio>

namespace dravonel {

// `text` with every control character (C0 U+0000..U+001F, DEL U+007F and C1
// U+0080..U+009F) shown as a backslash and three octal digits of its code, so
// ESC is "\033" and a line break "\012"; a byte of a name that was not UTF-8
// (kept undecoded by DecodeOutsideName) likewise shows as its own value, so
// "\xFF.txt" is "\377.txt". The characters that end a line or turn the
// direction of the text after them without being control characters (U+2028,
// U+2029 and the bidirectional marks, embeddings, overrides and isolates) show
// as a backslash, "u" and four hex digits ("\u202E"). A backslash itself stays
// as it is.
QString TerminalText(const QString& text);

// Writes TerminalText(text) and a line break to `stream` as UTF-8, flushed.
void printTerminalLine(FILE* stream, const QString& text);

} // namespace dravonel
