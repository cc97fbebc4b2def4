// The two message tables: the program's own messages and the common messages.
#pragma once

#include "message_ids.h"

#include <QString>

#include <span>

namespace dravonel {

// One message: a 16-bit identifier and its UTF-8 text.
struct MessageEntry {
    int id;
    const char* text;
};

// Text of a program message, named in msg:: (mode names, pane titles, tool-tips,
// option texts, run status lines, archiver-library errors). An identifier that is
// not listed gives "".
QString resDravonel(int id);

// Text of a common message, named in common_msg:: (cancel, log filter, folder
// creation, folder aliases, option-dialog buttons). An identifier that is not
// listed gives "".
QString resAll(int id);

// Every listed message of each table, sorted by identifier.
std::span<const MessageEntry> resDravonelTable();
std::span<const MessageEntry> resAllTable();

} // namespace dravonel
