#include "command_line.h"

#include "job_file.h"
#include "paths.h"
#include "session.h"

namespace dravonel {

QStringList splitCommandLine(const QString& text, bool& complete) {
    QStringList items;
    complete = true;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i) == QLatin1Char('"')) {
            const qsizetype close = text.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0) {
                complete = false;
                break;
            }
            items << text.mid(i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        const qsizetype blank = text.indexOf(QLatin1Char(' '), i);
        if (blank < 0) {
            items << text.mid(i);
            break;
        }
        items << text.mid(i, blank - i);
        i = blank + 1;
    }
    return items;
}

int addCommandLineItem(const QString& item, Session& session, MessageHost& host,
                       QStringList* left) {
    if (item.right(4).toUpper() == QLatin1String(".DVF") && CanOpenForReading(item)) {
        session.setJobName(LongPath(item));
        LoadDvf(session.jobName(), session, host, left);
        return 1;
    }
    QString longForm;
    if (!session.targets().Gaibu_ListInAdd(item, &longForm))
        return -1;
    if (left && !session.targets().holds(longForm))
        *left << item;
    return 0;
}

bool addCommandLine(const QStringList& items, bool complete, Session& session, MessageHost& host,
                    QStringList* left) {
    TargetList& targets = session.targets();
    targets.removeAll();
    for (const QString& item : items) {
        if (item.isEmpty())
            continue;
        const int result = addCommandLineItem(item, session, host, left);
        if (result == 1)
            return true;
        if (result != 0) {
            targets.removeAll();
            return false;
        }
    }
    if (!complete)
        targets.removeAll();
    return complete;
}

} // namespace dravonel
