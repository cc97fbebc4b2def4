#include "job_file.h"

#include "host.h"
#include "messages.h"
#include "paths.h"
#include "result_log.h"
#include "target_list.h"

#include <QFile>
#include <QFileInfo>

namespace dravonel {

namespace {

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
    if (info.exists() && !info.isHidden() && !host.askYesNo(resDravonel(200)))
        return false;
    QStringList lines;
    lines << kJobHeader << QStringLiteral("INDIR=") + job.inputFolder()
          << QStringLiteral("OUTDIR=") + job.outputFolder()
          << QStringLiteral("FILENAME=") + job.archiveName();
    lines += job.targets().entries();
    if (!writeTextLines(path, lines)) {
        host.showMessage(resDravonel(201));
        return false;
    }
    return true;
}

bool LoadDvf(const QString& path, JobTarget& job, MessageHost& host, QStringList* refused) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        host.showMessage(resDravonel(202));
        return false;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        host.showMessage(resDravonel(202));
        return false;
    }
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    const QStringList lines = splitLines(QString::fromUtf8(data));

    bool ok = false;
    qsizetype next = 0;
    auto take = [&](QString& line) {
        if (next >= lines.size())
            return false;
        line = lines.at(next++);
        return true;
    };
    QString line;
    if (take(line)) {
        if (line == kJobHeader) {
            const QString in = QStringLiteral("INDIR="), out = QStringLiteral("OUTDIR=");
            const QString lzhName = QStringLiteral("LZHFILENAME="),
                          name = QStringLiteral("FILENAME=");
            if (take(line) && line.startsWith(in)) {
                job.setInputFolder(line.mid(in.size()));
                if (take(line) && line.startsWith(out)) {
                    job.setOutputFolder(line.mid(out.size()));
                    if (take(line)) {
                        if (line.startsWith(lzhName)) {
                            job.setArchiveName(line.mid(lzhName.size()));
                            ok = true;
                        } else if (line.startsWith(name)) {
                            job.setArchiveName(line.mid(name.size()));
                            ok = true;
                        }
                    }
                }
            }
        } else {
            job.setInputFolder(line);
            if (take(line)) {
                job.setOutputFolder(line);
                if (take(line)) {
                    job.setArchiveName(line);
                    ok = true;
                }
            }
        }
    }
    if (!ok) {
        host.showMessage(resDravonel(202));
        return false;
    }
    TargetList& targets = job.targets();
    targets.removeAll();
    while (take(line)) {
        QString longForm;
        const bool room = targets.Gaibu_ListInAdd(line, &longForm);
        if (refused && (!room || !targets.contains(longForm)))
            *refused << line;
        if (!room) {
            if (refused)
                *refused << lines.mid(next);
            break;
        }
    }
    return true;
}

} // namespace dravonel
