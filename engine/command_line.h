// The program's command line as items for a session: files for the target
// list, or a job file that becomes the session's job.
#pragma once

#include <QString>
#include <QStringList>

namespace dravonel {

class MessageHost;
class Session;

// The items of a command-line text: blank-separated, or between double quotes
// (which may hold blanks); two blanks in a row give an empty item. `complete`
// is false when the text ends in a quote that is not closed (the items before
// it are given).
QStringList splitCommandLine(const QString& text, bool& complete);

// One item: a ".DVF" name (any letter case) of a file that can be read sets
// the session's job name to its long form and reads the job (LoadDvf, whose
// failure `host` shows): 1. Any other item goes on the target list through
// Gaibu_ListInAdd: 0, or -1 when the list refuses it. `left`, when given,
// receives what did not go on the list: the item (missing, unreadable, left
// out) or the job's entries that did not.
int addCommandLineItem(const QString& item, Session& session, MessageHost& host,
                       QStringList* left = nullptr);

// Empties the target list, then adds the non-empty items in order until a job
// file ends them. A refused item, or a text that was not `complete`, empties
// the list again and gives false. `left` as for addCommandLineItem.
bool addCommandLine(const QStringList& items, bool complete, Session& session, MessageHost& host,
                    QStringList* left = nullptr);

} // namespace dravonel
