#include "job_file.h"

#include "host.h"
#include "messages.h"
#include "paths.h"
#include "result_log.h"
#include "target_list.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace dravonel {

namespace {

// The largest job file read. A job of a full target list with the longest paths
// takes about 4 MiB; a larger file is no job, and reading it whole could exhaust
// the memory.
constexpr qint64 kLargestJobFile = 64 << 20;

// Splits text into lines at CR LF, LF or CR; a last line without an ending
// counts, an ending at the very end adds no empty line.
QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

} // namespace

bool WriteJobFile(const QString& path, JobTarget& job, MessageHost& host) {
    const QFileInfo info(path);
    if (info.exists() && !info.isHidden() &&
        !host.askYesNo(resDravonel(msg::JobFileExistsOverwrite)))
        return false;
    QStringList lines;
    lines << kJobHeader << QStringLiteral("INDIR=") + job.inputFolder()
          << QStringLiteral("OUTDIR=") + job.outputFolder()
          << QStringLiteral("FILENAME=") + job.archiveName();
    lines += job.targets().entries();
    // A value with a line break would be read back as other lines: such a
    // job cannot be saved (the file is left as it was).
    const bool oneLineEach = std::none_of(lines.cbegin(), lines.cend(), [](const QString& line) {
        return line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r'));
    });
    if (!oneLineEach || !writeTextLines(path, lines)) {
        host.showMessage(resDravonel(msg::JobFileSaveFailed));
        return false;
    }
    return true;
}

ParsedJob parseJobFile(QByteArray data) {
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    // A line that is not UTF-8 keeps its bytes: it names no file, and is not
    // taken for one whose name holds U+FFFD.
    const QStringList lines = splitLines(DecodeOutsideName(data));
    ParsedJob job;
    if (lines.isEmpty())
        return job;
    // The value of line `i` after `prefix` (none: the whole line), or nothing
    // when the line is missing or does not begin with it.
    auto value = [&lines](qsizetype i, const QString& prefix) -> std::optional<QString> {
        if (i >= lines.size() || !lines.at(i).startsWith(prefix))
            return std::nullopt;
        return lines.at(i).mid(prefix.size());
    };
    // With the header the values are named; the older layout has them bare.
    const bool named = lines.first() == kJobHeader;
    const qsizetype first = named ? 1 : 0;
    job.inputFolder = value(first, named ? QStringLiteral("INDIR=") : QString());
    if (job.inputFolder)
        job.outputFolder = value(first + 1, named ? QStringLiteral("OUTDIR=") : QString());
    if (job.outputFolder) {
        job.archiveName =
            named ? value(first + 2, QStringLiteral("LZHFILENAME=")) : value(first + 2, QString());
        if (!job.archiveName && named)
            job.archiveName = value(first + 2, QStringLiteral("FILENAME="));
    }
    if (job.archiveName)
        job.entries = lines.mid(first + 3);
    return job;
}

bool applyJob(const ParsedJob& parsed, JobTarget& job, QStringList* refused) {
    if (parsed.inputFolder)
        job.setInputFolder(*parsed.inputFolder);
    if (parsed.outputFolder)
        job.setOutputFolder(*parsed.outputFolder);
    if (!parsed.archiveName)
        return false;
    job.setArchiveName(*parsed.archiveName);
    TargetList& targets = job.targets();
    targets.removeAll();
    // A blank line names no file: it is neither taken nor refused.
    auto refuse = [refused](const QString& entry) {
        if (refused && !entry.isEmpty())
            *refused << entry;
    };
    for (qsizetype i = 0; i < parsed.entries.size(); ++i) {
        QString longForm;
        const bool room = targets.Gaibu_ListInAdd(parsed.entries.at(i), &longForm);
        if (!room || !targets.holds(longForm))
            refuse(parsed.entries.at(i));
        if (!room) {
            for (const QString& entry : parsed.entries.mid(i + 1))
                refuse(entry);
            break;
        }
    }
    return true;
}

bool LoadDvf(const QString& path, JobTarget& job, MessageHost& host, QStringList* refused) {
    // Only a regular file is read: a named pipe would wait for a writer and a
    // device such as /dev/zero never end.
    QFile file(path);
    QByteArray data;
    bool read =
        CanOpenForReading(path) && file.open(QIODevice::ReadOnly) && file.size() <= kLargestJobFile;
    if (read) {
        data = file.readAll();
        read = file.error() == QFileDevice::NoError && data.size() <= kLargestJobFile;
    }
    if (!read || !applyJob(parseJobFile(data), job, refused)) {
        host.showMessage(resDravonel(msg::JobFileReadFailed));
        return false;
    }
    return true;
}

} // namespace dravonel
