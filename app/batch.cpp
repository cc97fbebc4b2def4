#include "batch.h"

#include "archivers.h"
#include "host.h"
#include "job_file.h"
#include "memory_settings_store.h"
#include "options.h"
#include "paths.h"
#include "result_log.h"
#include "run.h"
#include "run_folder.h"
#include "settings.h"
#include "system_folders.h"
#include "target_list.h"
#include "termination.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace dravonel {

namespace {

void printLine(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The run's host on a terminal: messages to standard error, no questions
// (nothing is ever overwritten on a guess), progress on one updated line.
class TerminalHost : public RunHost {
public:
    explicit TerminalHost(const QString& name) : name_(name), tty_(::isatty(2) == 1) {}
    void setName(const QString& name) { name_ = name; }

    void showMessage(const QString& text) override { printLine(stderr, text); }
    bool askYesNo(const QString& text) override {
        printLine(stderr, text);
        return false;
    }
    void lockInterface() override {}
    void unlockInterface() override {}
    void yield() override { QCoreApplication::processEvents(); }
    QString archiveName() override { return name_; }
    QString askArchiveName() override { return name_; }
    void scrollTargetToTop(int) override {}
    void progress(const RunProgress& p) override {
        if (!tty_)
            return;
        const int percent = p.total > 0 ? int(p.done * 100 / p.total) : 0;
        const QString line = QStringLiteral("\r[%1/%2] %3 %4 %5%")
                                 .arg(p.archive)
                                 .arg(p.archiveCount)
                                 .arg(FileNameOf(p.archivePath), p.member)
                                 .arg(percent);
        const QByteArray bytes = line.toUtf8() + "\x1b[K";
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
        shown_ = true;
    }
    void runFinished() override {
        if (shown_)
            std::fputs("\r\x1b[K", stderr);
        shown_ = false;
    }

private:
    QString name_;
    bool tty_;
    bool shown_ = false;
};

bool takeValue(const QStringList& args, int& i, QString& value, QString& error) {
    if (i + 1 >= args.size()) {
        error = QStringLiteral("option %1 needs a value").arg(args.at(i));
        return false;
    }
    value = args.at(++i);
    return true;
}

} // namespace

QString versionText() {
    return QStringLiteral("dravonel2 1.02");
}

QString usageText() {
    return QStringLiteral(
        "Usage: dravonel2 [FILE|JOB.DVF]...        start the window\n"
        "       dravonel2 /U                       remove the stored settings\n"
        "       dravonel2 --batch MODE [OPTION]... FILE|JOB.DVF...\n"
        "\n"
        "Batch modes (no display needed, stored settings untouched):\n"
        "  dravo    one archive per file name without extension\n"
        "  normal   one archive for all files (needs --name, or a job file's name)\n"
        "  exp      one archive per extension (files without one are left alone)\n"
        "  filen    one archive per file, named with its extension\n"
        "\n"
        "Options:\n"
        "  --out DIR          output folder (default: the job's, else the current folder)\n"
        "  --name NAME        archive name of the normal mode\n"
        "  --method M         normal, stored or double (default normal)\n"
        "  --pattern P        double compression: lzh.lzh, lzh.zip (default lzh.lzh)\n"
        "  --format F         lzh or zip (zip: with filen only; default lzh)\n"
        "  --update           update an existing double-compressed archive\n"
        "  --no-upper         keep the archive names' letter case (default: upper case)\n"
        "  --hidden           also take dot-files named on the command line\n"
        "  --tmp DIR          temporary folder (default: a private folder under $TMPDIR)\n"
        "  --help, --version\n"
        "\n"
        "The result log goes to standard output; every file that was not archived is\n"
        "named on standard error. Exit status: 0 when every named file was archived,\n"
        "1 when some were not (missing, unreadable, skipped, or the run stopped), 2 for\n"
        "bad arguments or combinations (ZIP outside filen, a ZIP inner archive), a\n"
        "missing output folder, no private temporary folder or missing archiver\n"
        "modules, 128+N when ended by signal N (130 for Ctrl-C).\n");
}

bool parseBatchArguments(const QStringList& args, BatchOptions& o, QString& error) {
    if (args.isEmpty()) {
        error = QStringLiteral("--batch needs a mode: dravo, normal, exp or filen");
        return false;
    }
    const QStringList modes = {QStringLiteral("dravo"), QStringLiteral("normal"),
                               QStringLiteral("exp"), QStringLiteral("filen")};
    o.mode = int(modes.indexOf(args.first().toLower()));
    if (o.mode < 0) {
        error = QStringLiteral("unknown mode '%1' (dravo, normal, exp or filen)").arg(args.first());
        return false;
    }
    bool optionsEnd = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (optionsEnd || !a.startsWith(QLatin1String("--"))) {
            o.inputs << a;
            continue;
        }
        QString value;
        if (a == QLatin1String("--")) {
            optionsEnd = true;
        } else if (a == QLatin1String("--out")) {
            if (!takeValue(args, i, o.outFolder, error))
                return false;
        } else if (a == QLatin1String("--name")) {
            if (!takeValue(args, i, o.name, error))
                return false;
        } else if (a == QLatin1String("--tmp")) {
            if (!takeValue(args, i, o.tmpFolder, error))
                return false;
        } else if (a == QLatin1String("--method")) {
            if (!takeValue(args, i, value, error))
                return false;
            o.method = int(QStringList{"normal", "stored", "double"}.indexOf(value.toLower()));
            if (o.method < 0) {
                error = QStringLiteral("unknown method '%1' (normal, stored, double)").arg(value);
                return false;
            }
        } else if (a == QLatin1String("--pattern")) {
            if (!takeValue(args, i, value, error))
                return false;
            o.pattern = int(
                QStringList{"lzh.lzh", "lzh.zip", "zip.lzh", "zip.zip"}.indexOf(value.toLower()));
            if (o.pattern < 0) {
                error = QStringLiteral("unknown pattern '%1' (lzh.lzh, lzh.zip)").arg(value);
                return false;
            }
        } else if (a == QLatin1String("--format")) {
            if (!takeValue(args, i, value, error))
                return false;
            o.format = int(QStringList{"lzh", "zip"}.indexOf(value.toLower()));
            if (o.format < 0) {
                error = QStringLiteral("unknown format '%1' (lzh, zip)").arg(value);
                return false;
            }
        } else if (a == QLatin1String("--no-upper")) {
            o.upperCase = false;
        } else if (a == QLatin1String("--upper")) {
            o.upperCase = true;
        } else if (a == QLatin1String("--hidden")) {
            o.hidden = true;
        } else if (a == QLatin1String("--update")) {
            o.update = true;
        } else {
            error = QStringLiteral("unknown option '%1' (see --help)").arg(a);
            return false;
        }
    }
    if (o.inputs.isEmpty()) {
        error = QStringLiteral("no files to archive");
        return false;
    }
    return true;
}

namespace {

// Why a file named on the command line cannot go on the target list, or "".
QString refusalOf(const QString& path, bool hidden) {
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return QStringLiteral("its name holds a line break");
    const QFileInfo info(path);
    if (!info.exists() && path.contains(QChar::ReplacementCharacter))
        return QStringLiteral("its name is not valid UTF-8");
    if (info.isDir())
        return QStringLiteral("it is a folder (name the files in it)");
    if (!CanOpenForReading(path))
        return QStringLiteral("not a readable file");
    if (!hidden && FileNameOf(path).startsWith(QLatin1Char('.')))
        return QStringLiteral("a hidden file (see --hidden)");
    return QString();
}

// Refuses what the run would refuse only after it started.
bool checkCombination(const BatchOptions& b, QString& error) {
    if (b.method == kMethodDouble && b.pattern >= 2) {
        error = QStringLiteral("double compression needs an LZH inner archive "
                               "(--pattern lzh.lzh or lzh.zip)");
        return false;
    }
    if (b.method != kMethodDouble && b.format == kFormatZip && b.mode != kModeFileN) {
        error = QStringLiteral("--format zip makes one archive per file: use it with filen");
        return false;
    }
    return true;
}

} // namespace

int runBatch(const QStringList& arguments) {
    BatchOptions b;
    QString error;
    if (!parseBatchArguments(arguments.mid(1), b, error) || !checkCombination(b, error)) {
        printLine(stderr, QStringLiteral("dravonel2: ") + error);
        return kBatchUsage;
    }

    MemorySettingsStore store;
    OptionSet options;
    const QString privateTemp = TempFolder();
    LoadSettings(store, options, b.tmpFolder.isEmpty() ? privateTemp : b.tmpFolder);
    if (privateTemp.isEmpty() && !isPrivateFolder(options.TmpDir)) {
        printLine(stderr, QStringLiteral("dravonel2: no private temporary folder: '%1' is not a "
                                         "folder of yours that only you can write into")
                              .arg(options.TmpDir.isEmpty() ? QDir::tempPath() : options.TmpDir));
        return kBatchUsage;
    }
    if (!b.tmpFolder.isEmpty() && !isPrivateFolder(b.tmpFolder))
        printLine(stderr, QStringLiteral("dravonel2: '%1' is not private to you (others can write "
                                         "into it or it is a link); using '%2' instead")
                              .arg(b.tmpFolder, privateTemp));
    options.Ashuku = qint16(b.method);
    options.Pattern = qint16(b.pattern);
    options.AshukuExe = qint16(b.format);
    options.UCase = b.upperCase;
    options.Hiddn = b.hidden;
    options.Double = b.update;

    ModuleArchivers modules;
    const LibraryState libraries = modules.CheckLibraries(SystemFolder());
    if (!libraries.LhaAvailable) {
        printLine(stderr, QStringLiteral("dravonel2: the archiver modules are missing in '%1'")
                              .arg(SystemFolder()));
        return kBatchUsage;
    }
    const bool needsZip = (b.method != kMethodDouble && b.format == kFormatZip) ||
                          (b.method == kMethodDouble && b.pattern == 1);
    if (needsZip && !libraries.ZipAvailable) {
        printLine(stderr, QStringLiteral("dravonel2: ZIP archives need the ZIP modules, which are "
                                         "missing or broken in '%1'")
                              .arg(SystemFolder()));
        return kBatchUsage;
    }

    TerminalHost host(b.name);
    TargetList targets(&host);
    OutputList outputs;
    ResultLog log;
    QObject::connect(&log, &ResultLog::lineAdded,
                     [](const QString& line) { printLine(stdout, line); });

    // Every input that does not go on the list is named and makes the exit
    // status 1; the run goes on with the others.
    QStringList refused;
    auto refuse = [&refused](const QString& input, const QString& why) {
        printLine(stderr, QStringLiteral("dravonel2: not archived: '%1': %2").arg(input, why));
        refused << input;
    };
    bool full = false;
    for (const QString& input : b.inputs) {
        const QString path = QFileInfo(input).absoluteFilePath();
        if (full) {
            refuse(input, QStringLiteral("the target list is full (1000 files)"));
            continue;
        }
        if (path.endsWith(QLatin1String(".DVF"), Qt::CaseInsensitive) && CanOpenForReading(path)) {
            // A job file supplies its entries, and its folder and name where
            // the command line names none.
            TargetList jobTargets(&host);
            JobValues loaded(jobTargets);
            QStringList jobRefused;
            if (!LoadDvf(path, loaded, host, &jobRefused))
                return kBatchUsage;
            for (const QString& entry : jobRefused)
                refuse(entry,
                       QStringLiteral("named in '%1', but not readable or left out").arg(input));
            for (const QString& entry : jobTargets.entries()) {
                if (full || !targets.ListInAdd(entry)) {
                    full = true;
                    refuse(entry, QStringLiteral("the target list is full (1000 files)"));
                }
            }
            if (b.outFolder.isEmpty())
                b.outFolder = loaded.out;
            if (b.name.isEmpty())
                host.setName(loaded.name);
            continue;
        }
        const QString why = refusalOf(path, b.hidden);
        if (!why.isEmpty()) {
            refuse(input, why);
            continue;
        }
        full = !targets.Gaibu_ListInAdd(path);
        if (full)
            refuse(input, QStringLiteral("the target list is full (1000 files)"));
        else if (!targets.contains(LongPath(path)))
            refuse(input, QStringLiteral("left out (an active swap file)"));
    }
    if (targets.count() == 0) {
        printLine(stderr, QStringLiteral("dravonel2: no files to archive"));
        return kBatchIncomplete;
    }
    if (b.mode == kModeNormal && host.archiveName().isEmpty()) {
        printLine(stderr, QStringLiteral("dravonel2: the normal mode needs --name"));
        return kBatchUsage;
    }
    const QString out = LongPath(
        QFileInfo(b.outFolder.isEmpty() ? QDir::currentPath() : b.outFolder).absoluteFilePath());
    if (out.isEmpty() || !QFileInfo(out).isDir()) {
        printLine(stderr,
                  QStringLiteral("dravonel2: output folder '%1' does not exist").arg(b.outFolder));
        return kBatchUsage;
    }

    CompressionRun run(
        RunContext{options, libraries, modules, targets, outputs, log, host, privateTemp});
    TerminationWatcher termination;
    int signalled = 0;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &run,
                     [&run, &signalled](int sig) {
                         signalled = sig;
                         run.btnCancel_Click();
                     });
    const RunOutcome outcome = run.btnExe_Click(b.mode, out);

    for (const QString& left : outcome.notArchived)
        printLine(stderr, QStringLiteral("dravonel2: not archived: ") + left);
    if (outcome.skippedFiles > 0)
        printLine(stderr, QStringLiteral("dravonel2: the archiver skipped %1 file(s) while making "
                                         "archives")
                              .arg(outcome.skippedFiles));
    if (signalled != 0)
        return 128 + signalled;
    return outcome.allArchived() && refused.isEmpty() ? kBatchAllDone : kBatchIncomplete;
}

} // namespace dravonel
