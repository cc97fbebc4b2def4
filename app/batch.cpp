#include "batch.h"

#include "archivers.h"
#include "desktop_notice.h"
#include "file_uris.h"
#include "host.h"
#include "job_file.h"
#include "memory_settings_store.h"
#include "options.h"
#include "paths.h"
#include "progress_line.h"
#include "run.h"
#include "run_folder.h"
#include "session.h"
#include "settings.h"
#include "system_folders.h"
#include "target_list.h"
#include "terminal_text.h"
#include "termination.h"
#include "trash_originals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace dravonel {

namespace {

// Where the run's lines go: the result log to standard output, messages to
// standard error, control characters in them shown escaped. With --notify
// every line is also kept, as it is, for the log file that the notification
// names.
class BatchOutput {
public:
    explicit BatchOutput(bool keep) : keep_(keep) {}
    void log(const QString& line) { write(stdout, line); }
    void message(const QString& line) { write(stderr, line); }
    // A message of the batch command itself, after the program's name.
    void error(const QString& line) {
        lastError_ = line;
        message(QStringLiteral("dravonel2: ") + line);
    }
    const QStringList& lines() const { return lines_; }
    const QString& lastError() const { return lastError_; }
    ProgressLine& progress() { return progress_; }

private:
    void write(FILE* stream, const QString& line) {
        progress_.clear();
        printTerminalLine(stream, line);
        if (keep_)
            lines_ << line;
    }
    bool keep_;
    QStringList lines_;
    QString lastError_;
    ProgressLine progress_{stderr};
};

// The run's host on a terminal: messages to standard error, no questions
// (nothing is ever overwritten on a guess), progress on one updated line
// when standard error is a terminal.
class TerminalHost : public RunHost {
public:
    // The archive name is the session's.
    TerminalHost(Session& session, BatchOutput& out) : session_(session), out_(out) {}

    void showMessage(const QString& text) override { out_.message(text); }
    bool askYesNo(const QString& text) override {
        out_.message(text);
        return false;
    }
    void lockInterface() override {}
    void unlockInterface() override {}
    void yield() override { QCoreApplication::processEvents(); }
    QString archiveName() override { return session_.archiveName(); }
    QString askArchiveName() override { return session_.archiveName(); }
    void scrollTargetToTop(int) override {}
    void progress(const RunProgress& p) override {
        const QString current = p.member.isEmpty()
                                    ? FileNameOf(p.archivePath)
                                    : FileNameOf(p.archivePath) + QStringLiteral(": ") + p.member;
        out_.progress().show(p.archive, p.archiveCount, p.runDone + p.done,
                             std::max(p.runTotal, p.runDone + p.done), current);
    }
    void runFinished() override { out_.progress().clear(); }

private:
    Session& session_;
    BatchOutput& out_;
};

// One choice among fixed words, in any letter case; false with `error` when the
// value is none of them.
bool takeChoice(const QCommandLineParser& parser, const QString& option, const QStringList& words,
                const QString& shown, int& choice, QString& error) {
    if (!parser.isSet(option))
        return true;
    const QString value = parser.value(option);
    choice = int(words.indexOf(value.toLower()));
    if (choice < 0)
        error = QStringLiteral("unknown %1 '%2' (%3)").arg(option, value, shown);
    return choice >= 0;
}

QString versionText() {
    return QStringLiteral("dravonel2 1.02");
}

QString usageText() {
    return QStringLiteral(
        "Usage: dravonel2 [--] [FILE|JOB.DVF]...   start the window\n"
        "       dravonel2 /U                       remove the stored settings\n"
        "       dravonel2 --batch MODE [OPTION]... [--] FILE|JOB.DVF...\n"
        "       dravonel2 --list|--test ARCHIVE...    (see --extract --help)\n"
        "       dravonel2 --extract [--out DIR] [--inner] ARCHIVE...\n"
        "\n"
        "Batch modes (no display needed, stored settings untouched):\n"
        "  dravo    one archive per file name without extension\n"
        "  normal   one archive for all files (needs --name, or a job file's name)\n"
        "  exp      one archive per extension (files without one are left alone)\n"
        "  filen    one archive per file, named with its extension\n"
        "\n"
        "Options (--opt VALUE or --opt=VALUE):\n"
        "  --out DIR          output folder (default: the job's, else the current folder)\n"
        "  --beside           the archives go into the folder of their files\n"
        "  --name NAME        archive name of the normal mode\n"
        "  --method M         normal, stored or double (default normal)\n"
        "  --pattern P        double compression: lzh.lzh, lzh.zip (default lzh.lzh)\n"
        "  --format F         lzh or zip (zip: with filen only; default lzh)\n"
        "  --zip-names N      cp932: ZIP names CP932 holds in CP932 with their UTF-8\n"
        "                     form beside (default); utf8: every name in UTF-8\n"
        "  --update           update an existing double-compressed archive\n"
        "  --no-upper         keep the archive names' letter case (default: upper case)\n"
        "  --hidden           also take dot-files named on the command line\n"
        "  --tmp DIR          temporary folder (default: a private folder under $TMPDIR)\n"
        "  --jobs N           threads at once: archives made side by side in filen,\n"
        "                     and the pieces of each archive (default: one per core)\n"
        "  --notify           keep the log in ${XDG_STATE_HOME:-~/.local/state}/dravonel2/\n"
        "                     and end with a desktop notification\n"
        "  --verify           decode each archive made and compare every member of the\n"
        "                     run's files byte for byte with its file\n"
        "  --trash-originals  move the files archived and verified to the trash\n"
        "                     (implies --verify; never deleted)\n"
        "  --uris             the files are given as file URIs (file:///...)\n"
        "  -h, --help         this text\n"
        "  -V, --version      the program's version\n"
        "\n"
        "After --, every argument is a file (a name that begins with '-' goes there).\n"
        "The result log goes to standard output; every file that was not archived is\n"
        "named on standard error. Exit status: 0 when every named file was archived,\n"
        "1 when some were not (missing, unreadable, a folder, skipped, or the run\n"
        "stopped), 2 for bad arguments or combinations (ZIP outside filen, a ZIP inner\n"
        "archive), a missing or unwritable output folder, no private temporary folder\n"
        "or missing archiver modules, 128+N when ended by signal N (130 for Ctrl-C).\n");
}

} // namespace

void printHelpOrVersion(bool help) {
    const QByteArray text = (help ? usageText() : versionText() + '\n').toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
}

namespace {

const QString kOut = QStringLiteral("out"), kName = QStringLiteral("name"),
              kTmp = QStringLiteral("tmp"), kMethod = QStringLiteral("method"),
              kPattern = QStringLiteral("pattern"), kFormat = QStringLiteral("format"),
              kJobs = QStringLiteral("jobs"), kZipNames = QStringLiteral("zip-names");

void declareBatchOptions(QCommandLineParser& parser) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QString& valued : {kOut, kName, kTmp, kMethod, kPattern, kFormat, kJobs, kZipNames})
        parser.addOption(QCommandLineOption(valued, QString(), QStringLiteral("value")));
    for (const char* flag : {"beside", "no-upper", "upper", "hidden", "update", "notify", "verify",
                             "trash-originals", "uris"})
        parser.addOption(QCommandLineOption(QLatin1String(flag)));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(
        QCommandLineOption(QStringList{QStringLiteral("V"), QStringLiteral("version")}));
}

// The mode (the first positional argument) and the files after it.
bool takeModeAndInputs(const QCommandLineParser& parser, BatchOptions& o, QString& error) {
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        error = QStringLiteral("--batch needs a mode: dravo, normal, exp or filen");
        return false;
    }
    const QString mode = positional.takeFirst();
    o.mode = int(QStringList{"dravo", "normal", "exp", "filen"}.indexOf(mode.toLower()));
    if (o.mode < 0) {
        error = QStringLiteral("unknown mode '%1' (dravo, normal, exp or filen)").arg(mode);
        return false;
    }
    o.inputs = positional;
    return !parser.isSet(QStringLiteral("uris")) || localFilesOf(positional, o.inputs, error);
}

// The switches without a value.
void takeFlags(const QCommandLineParser& parser, BatchOptions& o) {
    o.beside = parser.isSet(QStringLiteral("beside"));
    o.hidden = parser.isSet(QStringLiteral("hidden"));
    o.update = parser.isSet(QStringLiteral("update"));
    // Originals go only once their archives are verified.
    o.trashOriginals = parser.isSet(QStringLiteral("trash-originals"));
    o.verify = o.trashOriginals || parser.isSet(QStringLiteral("verify"));
    // --upper and --no-upper: the last one given holds.
    for (const QString& option : parser.optionNames()) {
        if (option == QLatin1String("upper") || option == QLatin1String("no-upper"))
            o.upperCase = option == QLatin1String("upper");
    }
}

// The options that take one of a list of words or a number.
bool takeChoices(const QCommandLineParser& parser, BatchOptions& o, QString& error) {
    if (!takeChoice(parser, kMethod, {"normal", "stored", "double"},
                    QStringLiteral("normal, stored, double"), o.method, error) ||
        !takeChoice(parser, kPattern, {"lzh.lzh", "lzh.zip", "zip.lzh", "zip.zip"},
                    QStringLiteral("lzh.lzh, lzh.zip"), o.pattern, error) ||
        !takeChoice(parser, kFormat, {"lzh", "zip"}, QStringLiteral("lzh, zip"), o.format, error) ||
        !takeChoice(parser, kZipNames, {"cp932", "utf8"}, QStringLiteral("cp932, utf8"), o.zipNames,
                    error))
        return false;
    if (parser.isSet(kJobs)) {
        bool number = false;
        o.jobs = parser.value(kJobs).toInt(&number);
        if (!number || o.jobs < 1 || o.jobs > 64) {
            error = QStringLiteral("--jobs takes a number from 1 to 64");
            return false;
        }
    }
    return true;
}

} // namespace

bool parseBatchArguments(const QStringList& args, BatchOptions& o, QString& error) {
    QCommandLineParser parser;
    declareBatchOptions(parser);
    // The parser reads past an error, so the flags that decide how the end is
    // reported are known even for a command line that is refused.
    const bool parsed = parser.parse(QStringList{QStringLiteral("dravonel2")} + args);
    o.notify = parser.isSet(QStringLiteral("notify"));
    o.help = parser.isSet(QStringLiteral("help"));
    o.version = parser.isSet(QStringLiteral("version"));
    if (o.help || o.version)
        return true;
    if (!parsed) {
        error = parser.errorText();
        if (!parser.unknownOptionNames().isEmpty())
            error +=
                QStringLiteral(" (see --help; a file name that begins with '-' goes after --)");
        return false;
    }
    if (!takeModeAndInputs(parser, o, error))
        return false;
    o.outFolder = parser.value(kOut);
    o.name = parser.value(kName);
    o.tmpFolder = parser.value(kTmp);
    takeFlags(parser, o);
    if (!takeChoices(parser, o, error))
        return false;
    // An empty folder (an unset variable in a script) is not the current one.
    if (parser.isSet(kOut) && o.outFolder.isEmpty()) {
        error = QStringLiteral("--out needs a folder");
        return false;
    }
    if (o.beside && parser.isSet(kOut)) {
        error = QStringLiteral("--beside and --out name two different output folders");
        return false;
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
    const QString why = unreadableReason(path);
    if (why.isEmpty() && !hidden && FileNameOf(path).startsWith(QLatin1Char('.')))
        return QStringLiteral("a hidden file (see --hidden)");
    return why;
}

// Refuses what the run would refuse only after it started.
bool checkCombination(const BatchOptions& b, QString& error) {
    OptionSet o;
    o.Ashuku = qint16(b.method);
    o.Pattern = qint16(b.pattern);
    o.AshukuExe = qint16(b.format);
    switch (checkRestrictions(o, RunMode(b.mode))) {
    case Restriction::ZipInnerArchive:
        error = QStringLiteral("double compression needs an LZH inner archive "
                               "(--pattern lzh.lzh or lzh.zip)");
        return false;
    case Restriction::ZipOutsideFileN:
        error = QStringLiteral("--format zip makes one archive per file: use it with filen");
        return false;
    case Restriction::None:
        break;
    }
    return true;
}

// What the end of a run reports besides its exit status.
struct Tally {
    int archives = 0;
    int notArchived = 0; // files refused, left out or skipped by the archiver
    int notTrashed = 0;  // archived files that could not go to the trash
};

// One batch run, phase by phase: configure (settings, temporary folder,
// modules), collect the inputs onto the target list, plan one run per output
// folder, run them. A phase that must stop the whole thing gives its exit
// status.
class BatchRun {
public:
    BatchRun(BatchOptions& b, BatchOutput& out, Tally& tally)
        : b_(b), out_(out), tally_(tally), host_(session_, out) {
        session_.targets().setMessageHost(&host_);
        session_.setArchiveName(b.name);
        QObject::connect(&session_.log(), &ResultLog::lineAdded,
                         [&out](const QString& line) { out.log(line); });
    }

    int execute() {
        for (auto phase : {&BatchRun::configure, &BatchRun::collectInputs, &BatchRun::planRuns}) {
            if (const std::optional<int> stop = (this->*phase)())
                return *stop;
        }
        return runAll();
    }

private:
    std::optional<int> configure();
    std::optional<int> collectInputs();
    std::optional<int> planRuns();
    int runAll();
    // Puts a job file's entries on the list; false when it cannot be read.
    bool addJobFile(const QString& input, const QString& path);
    // Names an input that does not go on the list; it makes the exit status 1.
    void refuse(const QString& input, const QString& why) {
        out_.error(QStringLiteral("not archived: '%1': %2").arg(input, why));
        ++tally_.notArchived;
    }
    void refuseFull(const QString& input) {
        refuse(input, QStringLiteral("the target list is full (1000 files)"));
    }

    BatchOptions& b_;
    BatchOutput& out_;
    Tally& tally_;
    MemorySettingsStore store_;
    OptionSet options_;
    QString privateTemp_;
    ModuleArchivers modules_;
    LibraryState libraries_;
    // The job: the list, the output list, the log and the archive name.
    Session session_;
    TerminalHost host_;
    bool full_ = false;
    // The runs: each output folder with its files in list order.
    std::vector<std::unique_ptr<TargetList>> folderLists_;
    QList<QPair<QString, TargetList*>> runs_;
};

std::optional<int> BatchRun::configure() {
    privateTemp_ = TempFolder();
    LoadSettings(store_, options_, b_.tmpFolder.isEmpty() ? privateTemp_ : b_.tmpFolder);
    if (privateTemp_.isEmpty() && !isPrivateFolder(options_.TmpDir)) {
        out_.error(QStringLiteral("no private temporary folder: '%1' is not a folder of yours that "
                                  "only you can write into")
                       .arg(options_.TmpDir.isEmpty() ? QDir::tempPath() : options_.TmpDir));
        return kBatchUsage;
    }
    if (!b_.tmpFolder.isEmpty() && !QFileInfo(b_.tmpFolder).isDir())
        out_.error(QStringLiteral("'%1' %2; using '%3' instead")
                       .arg(b_.tmpFolder,
                            QFileInfo::exists(b_.tmpFolder) ? QStringLiteral("is not a folder")
                                                            : QStringLiteral("does not exist"),
                            privateTemp_));
    else if (!b_.tmpFolder.isEmpty() && !isPrivateFolder(b_.tmpFolder))
        out_.error(QStringLiteral("'%1' is not private to you (others can write into it or it is "
                                  "a link); using '%2' instead")
                       .arg(b_.tmpFolder, privateTemp_));
    options_.Ashuku = qint16(b_.method);
    options_.Pattern = qint16(b_.pattern);
    options_.AshukuExe = qint16(b_.format);
    options_.ZipUtf8Names = b_.zipNames == 1;
    options_.UCase = b_.upperCase;
    options_.Hiddn = b_.hidden;
    options_.Double = b_.update;

    libraries_ = modules_.CheckLibraries(SystemFolder());
    if (!libraries_.LhaAvailable) {
        out_.error(QStringLiteral("the archiver modules are missing in '%1'").arg(SystemFolder()));
        return kBatchUsage;
    }
    const bool needsZip = (b_.method != kMethodDouble && b_.format == kFormatZip) ||
                          (b_.method == kMethodDouble && b_.pattern == kPatternLzhZip);
    if (needsZip && !libraries_.ZipAvailable) {
        out_.error(QStringLiteral("ZIP archives need the ZIP modules, which are missing or broken "
                                  "in '%1'")
                       .arg(SystemFolder()));
        return kBatchUsage;
    }
    return std::nullopt;
}

bool BatchRun::addJobFile(const QString& input, const QString& path) {
    // A job file supplies its entries, and its folder and name where the
    // command line names none.
    TargetList jobTargets(&host_);
    JobValues loaded(jobTargets);
    QStringList jobRefused;
    if (!LoadDvf(path, loaded, host_, &jobRefused)) {
        out_.error(QStringLiteral("'%1' cannot be read as a job file").arg(input));
        return false;
    }
    // Each entry the job's list did not take, with why.
    for (const QString& entry : jobRefused)
        refuse(entry,
               QStringLiteral("named in '%1': %2").arg(input, notTakenReason(jobTargets, entry)));
    for (const QString& entry : jobTargets.entries()) {
        if (full_ || !session_.targets().ListInAdd(entry)) {
            full_ = true;
            refuseFull(entry);
        }
    }
    if (b_.outFolder.isEmpty())
        b_.outFolder = loaded.out;
    if (b_.name.isEmpty())
        session_.setArchiveName(loaded.name);
    return true;
}

std::optional<int> BatchRun::collectInputs() {
    // Every input that does not go on the list is named and makes the exit
    // status 1; the run goes on with the others.
    for (const QString& input : b_.inputs) {
        const QString path = AbsolutePath(input);
        if (full_) {
            refuseFull(input);
            continue;
        }
        if (path.endsWith(QLatin1String(".DVF"), Qt::CaseInsensitive) && CanOpenForReading(path)) {
            if (!addJobFile(input, path))
                return kBatchUsage;
            continue;
        }
        const QString why = refusalOf(path, b_.hidden);
        if (!why.isEmpty()) {
            refuse(input, why);
            continue;
        }
        QString longForm;
        full_ = !session_.targets().Gaibu_ListInAdd(path, &longForm);
        if (full_)
            refuseFull(input);
        else if (!session_.targets().holds(longForm))
            refuse(input, QStringLiteral("left out (an active swap file)"));
    }
    if (session_.targets().count() == 0) {
        out_.error(QStringLiteral("no files to archive"));
        return kBatchIncomplete;
    }
    if (b_.mode == kModeNormal && session_.archiveName().isEmpty()) {
        out_.error(QStringLiteral("the normal mode needs --name"));
        return kBatchUsage;
    }
    return std::nullopt;
}

std::optional<int> BatchRun::planRuns() {
    // One run per output folder: the one output folder, or with --beside each
    // folder that holds files of the list, with those files in list order.
    if (b_.beside) {
        for (const QString& entry : session_.targets().entries()) {
            const QString folder = FolderOf(entry);
            auto it = std::find_if(runs_.begin(), runs_.end(),
                                   [&folder](const auto& run) { return run.first == folder; });
            if (it == runs_.end()) {
                folderLists_.push_back(std::make_unique<TargetList>(&host_));
                runs_.append({folder, folderLists_.back().get()});
                it = runs_.end() - 1;
            }
            it->second->ListInAdd(entry);
        }
        return std::nullopt;
    }
    const QString folder =
        LongPath(b_.outFolder.isEmpty() ? QDir::currentPath() : AbsolutePath(b_.outFolder));
    if (const QString problem = OutputFolderProblem(folder); !problem.isEmpty()) {
        out_.error(QStringLiteral("output folder '%1' %2").arg(b_.outFolder, problem));
        return kBatchUsage;
    }
    runs_.append({folder, &session_.targets()});
    return std::nullopt;
}

int BatchRun::runAll() {
    TerminationWatcher termination;
    int signalled = 0;
    CompressionRun* current = nullptr;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested,
                     [&current, &signalled](int sig) {
                         signalled = sig;
                         if (current)
                             current->requestCancel();
                     });
    bool allFinished = true;
    for (const auto& [folder, list] : runs_) {
        CompressionRun run(RunContext{options_, libraries_, modules_, *list, session_.outputs(),
                                      session_.log(), host_, privateTemp_, b_.jobs, b_.verify});
        current = &run;
        const QStringList taken = list->entries();
        const RunOutcome outcome = run.run(RunMode(b_.mode), folder);
        current = nullptr;
        if (b_.trashOriginals && signalled == 0)
            tally_.notTrashed += trashArchived(taken, outcome.notArchived,
                                               [this](const QString& line) { out_.error(line); });
        tally_.archives += outcome.archivesMade;
        // Every file the run cannot prove to be in an archive is named, the
        // files the archiver skipped among them.
        tally_.notArchived += int(outcome.notArchived.size());
        for (const NotArchived& left : outcome.notArchived)
            out_.error(left.text());
        allFinished = allFinished && outcome.finished;
        if (signalled != 0)
            return 128 + signalled;
    }
    // Every file archived: every run finished and none refused, left out or
    // unproven.
    return allFinished && tally_.notArchived == 0 && tally_.notTrashed == 0 ? kBatchAllDone
                                                                            : kBatchIncomplete;
}

// Says on the desktop how the run ended, with the run's lines kept as a log.
void notifyEnd(int status, const Tally& tally, BatchOutput& out) {
    QString summary, body;
    const QString made = QStringLiteral("圧縮ファイルを %1 個作りました。").arg(tally.archives);
    if (status == kBatchAllDone) {
        summary = QStringLiteral("圧縮が終わりました");
        body = made;
    } else if (status == kBatchIncomplete) {
        summary = QStringLiteral("圧縮できなかったファイルがあります");
        body = made +
               QStringLiteral("\n%1 個のファイルは圧縮できませんでした。").arg(tally.notArchived);
    } else if (status == kBatchUsage) {
        summary = QStringLiteral("圧縮を実行できませんでした");
        body = out.lastError();
    } else {
        summary = QStringLiteral("圧縮を中断しました");
        body = made;
    }
    notifyDesktop(summary, body, status == kBatchAllDone,
                  keepLog(QStringLiteral("batch"), out.lines()));
}

} // namespace

int runBatch(const QStringList& arguments) {
    BatchOptions b;
    QString error;
    const bool parsed = parseBatchArguments(arguments.mid(1), b, error);
    if (b.help || b.version) {
        printHelpOrVersion(b.help);
        return kBatchAllDone;
    }
    BatchOutput out(b.notify);
    Tally tally;
    int status = kBatchUsage;
    if (!parsed || !checkCombination(b, error))
        out.error(error);
    else
        status = BatchRun(b, out, tally).execute();
    if (b.notify)
        notifyEnd(status, tally, out);
    return status;
}

} // namespace dravonel
