#include "run.h"

#include "archivers.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "paths.h"
#include "result_log.h"
#include "target_list.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace dravonel {

namespace {

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// An archive name that would put the archive elsewhere than the output folder
// never reaches a command line. A backslash is an ordinary character of a
// Linux name and stays.
bool safeArchiveName(const QString& name) {
    return !name.contains(QLatin1Char('/'));
}

// A module's result that means the archive was made: without a fault, or with
// that many files skipped.
bool madeArchive(int code) {
    return code >= 0 && code <= ARC_MAX_SKIPPED;
}

// The ZIP options with the name switch the setting asks for.
QString zipOptions(const QString& options, const OptionSet& o) {
    return o.ZipUtf8Names ? options + QStringLiteral(" -utf8") : options;
}

const QString kZipRestrictionDouble =
    QStringLiteral("現在のZIP32J.DLL IZIP32J.DLLでは実行できません。（２重圧縮の１重目のＺＩＰ）");
const QString kNoTemporaryFolder =
    QStringLiteral("一時フォルダ（%1）も専用の一時フォルダも使えないため実行できません。");
const QString kZipRestrictionFormat = QStringLiteral(
    "現在のZIP32J.DLL IZIP32J.DLLでは実行できません。（通常・非圧縮のＦＩｌｅＮ以外　ＺＩＰ）");

} // namespace

CompressionRun::CompressionRun(const RunContext& context, QObject* parent)
    : QObject(parent), c_(context), naming_(context.targets) {
    // As many workers as calls in flight: a call started while the one before
    // is still winding up waits for its worker instead of starting another.
    workers_.setMaxThreadCount(1);
}

QString CompressionRun::commandLine(const QString& optionPart, const QStringList& arguments,
                                    const QStringList& names) {
    QString line = optionPart;
    auto add = [&line](const QString& argument) {
        line += QLatin1String(" \"");
        // A quote inside an argument is doubled, so that any name reaches the
        // module whole; ordinary names are written as they are.
        line += QString(argument).replace(QLatin1Char('"'), QLatin1String("\"\""));
        line += QLatin1Char('"');
    };
    for (const QString& argument : arguments)
        add(argument);
    // A name that begins like a switch or a response-file reference follows
    // "--", after which the modules take every token as a name.
    const bool guard = std::any_of(names.begin(), names.end(), [](const QString& n) {
        return n.startsWith(QLatin1Char('-')) || n.startsWith(QLatin1Char('@'));
    });
    if (guard)
        line += QLatin1String(" --");
    for (const QString& name : names)
        add(name);
    return line;
}

void CompressionRun::log(const QString& line) {
    if (!line.isEmpty())
        c_.log.ListInAdd(line);
}

QString CompressionRun::tmpFolder() const {
    return folder_.path();
}

qint16 CompressionRun::ReportResult(int code) {
    if (code == 0)
        return kMade;
    if (madeArchive(code)) {
        skippedFiles_ += code;
        archiveSkipped_ += code;
        log(resDravonel(20040) + QLatin1Char(' ') + QString::number(code) + resDravonel(20041));
        return kMade;
    }
    switch (code) {
    case ARC_ERR_DISK_FULL:
        log(resDravonel(20042));
        return kNotMadeStop;
    case ARC_ERR_CANNOT_WRITE_DEST:
        log(resDravonel(20043));
        return kNotMadeStop;
    case ARC_ERR_CANCELLED:
        log(resDravonel(20044));
        return kNotMadeStop;
    default:
        return kNotMadeGoOn;
    }
}

bool CompressionRun::CheckRespFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    // Each line is one path in double quotes, taken whole: a path may hold
    // commas or quotes of its own.
    for (QByteArray line : data.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() >= 2 && line.startsWith('"') && line.endsWith('"'))
            line = line.mid(1, line.size() - 2);
        if (line.isEmpty())
            continue;
        log(QStringLiteral("[ ") + ShortPath(QString::fromUtf8(line)) + QStringLiteral(" ]"));
    }
    return true;
}

ProgressHandler CompressionRun::progressHandler(int archive, const QString& archivePath,
                                                quint64 archiveBytes) {
    RunProgress base;
    base.archive = archive;
    base.archiveCount = archiveCount_;
    base.archivePath = archivePath;
    base.archiveBytes = archiveBytes;
    base.runDone = bytesFinished_;
    base.runTotal = runBytes_;
    // Progress reaches the host on this object's thread, at most every 50 ms;
    // the cancel flag is read on every report, so a cancel stops the call.
    auto lastPost = std::make_shared<std::atomic<long long>>(0);
    return [this, base, lastPost](const QString& member, quint64 done, quint64 total) {
        const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count();
        if (now - lastPost->load() >= 50 || done == total) {
            lastPost->store(now);
            RunProgress p = base;
            p.member = member;
            p.done = done;
            p.total = total;
            QMetaObject::invokeMethod(
                this, [this, p] { c_.host.progress(p); }, Qt::QueuedConnection);
        }
        return cancel_.load();
    };
}

int CompressionRun::call(Module module, const QString& commandLine, const QString& archive) {
    Archivers& a = c_.archivers;
    a.setProgressHandler(progressHandler(archiveIndex_, archive, archiveBytes_));

    // The module works on a worker thread while this thread keeps the event
    // loop running, so the windows repaint and the cancel button works.
    QEventLoop loop;
    int result = 0;
    workers_.start([&] {
        switch (module) {
        case Module::Lha:
            result = a.Unlha(commandLine);
            break;
        case Module::Zip:
            result = a.Zip(commandLine);
            break;
        case Module::UnZip:
            result = a.UnZip(commandLine);
            break;
        }
        // Posted to this object, which outlives the call, so that the worker
        // touches nothing of this frame once the loop may end.
        QMetaObject::invokeMethod(
            this, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    a.setProgressHandler(nullptr);
    return result;
}

bool CompressionRun::busy(Module module) {
    return module == Module::Zip ? c_.archivers.ZipGetRunning() : c_.archivers.UnlhaGetRunning();
}

int CompressionRun::compress(Module module, const QString& commandLine, const QString& archive) {
    if (busy(module)) {
        c_.host.showMessage(resDravonel(module == Module::Zip ? 20103 : 20100));
        return kCodeBusy;
    }
    return call(module, commandLine, archive);
}

qint16 CompressionRun::finish(int code, const QString& archive) {
    const qint16 verdict = ReportResult(code);
    if (verdict != kMade) {
        log(resDravonel(20021));
    } else {
        log(resDravonel(20020));
        ++archivesMade_;
        c_.outputs.ListInAdd(archive);
    }
    return verdict;
}

qint16 CompressionRun::CompressGroup(const QString& name, const QString& outputFolder) {
    archiveSkipped_ = 0;
    const OptionSet& o = c_.options;
    const QString n = o.UCase ? UpperName(name) : name;
    const QString w = QStringLiteral("-w") + tmpFolder();
    const QString r = responseFilePath(tmpFolder());
    const QString t = tmpFolder();
    const QString out = withSlash(outputFolder);

    if (!CheckRespFile(r)) {
        log(resDravonel(20101));
        return finish(kCodeMissing, QString());
    }
    if (!safeArchiveName(n))
        return finish(kCodeMissing, QString());
    // An output folder that has no long form must not turn into the root.
    if (outputFolder.isEmpty())
        return finish(kCodeDestination, QString());

    int code = 0;
    QString archive;
    if (o.Ashuku != kMethodDouble) {
        const bool stored = o.Ashuku == kMethodStored;
        if (o.AshukuExe == kFormatZip) {
            if (!c_.libraries.ZipAvailable) {
                c_.host.showMessage(resDravonel(20104));
                code = kCodeMissing;
            } else {
                archive = out + n + QStringLiteral(".ZIP");
                log(resDravonel(stored ? 20015 : 20010));
                code = compress(
                    Module::Zip,
                    commandLine(zipOptions(o.ZipOpt, o) +
                                    (stored ? QStringLiteral(" -0 ") : QStringLiteral(" -9 ")),
                                {archive, QStringLiteral("-i@") + r}),
                    archive);
            }
        } else {
            archive = out + n + QStringLiteral(".LZH");
            log(resDravonel(stored ? 20005 : 20000));
            code = compress(Module::Lha,
                            commandLine(stored ? o.Lzh_Opt + QStringLiteral(" -z1 ") : o.Lzh_Opt,
                                        {w, archive, QStringLiteral("@") + r}),
                            archive);
        }
        return finish(code, archive);
    }

    // Double compression: the files are stored in an inner archive in the
    // temporary folder, which is then compressed into the final archive.
    const bool innerZip = o.Pattern == 2 || o.Pattern == 3;
    const bool outerZip = o.Pattern == 1 || o.Pattern == 3;
    const QString innerExt = innerZip ? QStringLiteral(".ZIP") : QStringLiteral(".LZH");
    const QString outerExt = outerZip ? QStringLiteral(".ZIP") : QStringLiteral(".LZH");
    const QString inner = t + n + innerExt;
    const QString final = out + n + innerExt + outerExt;

    // An inner archive left behind by an earlier failure must not be merged
    // into the new one.
    QFile::remove(inner);
    QDateTime extractedTime;
    if (o.Double && CanOpenForReading(final)) {
        log(resDravonel(20050));
        if (outerZip) {
            if (!c_.archivers.UnZipGetRunning())
                call(Module::UnZip, commandLine(QStringLiteral("-x"), {final, t}, {n + innerExt}),
                     final);
        } else if (!c_.archivers.UnlhaGetRunning()) {
            call(Module::Lha, commandLine(QStringLiteral("x -+"), {final, t}, {n + innerExt}),
                 final);
        }
        // Without its old inner archive the update would replace the final
        // archive by one that lacks its old contents: leave it as it is.
        if (!QFileInfo(inner).isFile())
            return finish(kCodeMissing, QString());
        extractedTime = QFileInfo(inner).lastModified();
    }

    if (innerZip) {
        if (!c_.libraries.ZipAvailable) {
            c_.host.showMessage(resDravonel(20104));
            code = kCodeMissing;
        } else {
            log(resDravonel(20003));
            code = compress(Module::Zip,
                            commandLine(zipOptions(o.ZipOpt, o) + QStringLiteral(" -0 "),
                                        {inner, QStringLiteral("-i@") + r}),
                            final);
        }
    } else {
        log(resDravonel(20001));
        code = compress(
            Module::Lha,
            commandLine(o.Lzh_Opt + QStringLiteral(" -z1 "), {w, inner, QStringLiteral("@") + r}),
            final);
    }

    if (ReportResult(code) == kMade) {
        // Stage 2 replaces the old inner archive only by a newer one; rewritten
        // within the second of the old one it would look up to date and the
        // new files would be lost, so it is dated after the old one.
        QFile rewritten(inner);
        if (extractedTime.isValid() &&
            QFileInfo(inner).lastModified().toSecsSinceEpoch() <=
                extractedTime.toSecsSinceEpoch() &&
            rewritten.open(QIODevice::ReadWrite))
            rewritten.setFileTime(extractedTime.addSecs(1), QFileDevice::FileModificationTime);
        if (outerZip) {
            if (!c_.libraries.ZipAvailable) {
                c_.host.showMessage(resDravonel(20104));
                code = kCodeMissing;
            } else {
                log(resDravonel(20004));
                code = compress(Module::Zip,
                                commandLine(zipOptions(QStringLiteral("-j -9"), o), {final, inner}),
                                final);
            }
        } else {
            log(resDravonel(20002));
            code = compress(Module::Lha, commandLine(QStringLiteral("u -+"), {w, final, inner}),
                            final);
        }
    }
    QFile::remove(inner);
    return finish(code, final);
}

CompressionRun::FilePlan CompressionRun::planOneFile(const QString& path,
                                                     const QString& outputFolder) const {
    FilePlan plan;
    const OptionSet& o = c_.options;
    QString n = FileNameOf(path);
    if (o.UCase)
        n = UpperName(n);
    const QString out = withSlash(outputFolder);
    plan.lines << QStringLiteral("[ ") + ShortPath(path) + QStringLiteral(" ]");
    if (!safeArchiveName(n))
        return plan;
    if (outputFolder.isEmpty()) {
        plan.code = kCodeDestination;
        return plan;
    }

    // Double compression does not apply here: it is taken as stored.
    const bool stored = o.Ashuku != kMethodNormal;
    if (o.AshukuExe == kFormatZip) {
        if (c_.libraries.ZipAvailable) {
            plan.archive = out + n + QStringLiteral(".ZIP");
            plan.lines << resDravonel(stored ? 20015 : 20010);
            plan.needsCall = true;
            plan.module = Module::Zip;
            plan.commandLine =
                commandLine(zipOptions(o.ZipOpt, o) +
                                (stored ? QStringLiteral(" -0 ") : QStringLiteral(" -9 ")),
                            {plan.archive, path});
        }
    } else if (c_.libraries.LhaAvailable) {
        plan.archive = out + n + QStringLiteral(".LZH");
        plan.lines << resDravonel(stored ? 20005 : 20000);
        plan.needsCall = true;
        plan.module = Module::Lha;
        plan.commandLine = commandLine(stored ? o.Lzh_Opt + QStringLiteral(" -z1 ") : o.Lzh_Opt,
                                       {QStringLiteral("-w") + tmpFolder(), plan.archive, path});
    }
    return plan;
}

qint16 CompressionRun::reportOneFile(const FilePlan& plan, int code) {
    archiveSkipped_ = 0;
    for (const QString& line : plan.lines)
        log(line);
    return finish(code, plan.archive);
}

qint16 CompressionRun::CompressOneFile(const QString& path, const QString& outputFolder) {
    FilePlan plan = planOneFile(path, outputFolder);
    // Made one at a time, the archive's lines are in the log while it is made.
    for (const QString& line : std::exchange(plan.lines, {}))
        log(line);
    const int code =
        plan.needsCall ? compress(plan.module, plan.commandLine, plan.archive) : plan.code;
    return reportOneFile(plan, code);
}

int CompressionRun::countGroups(bool byExtension) const {
    QSet<QString> keys;
    for (int row : c_.targets.markedRows()) {
        const QString entry = c_.targets.entry(row);
        if (byExtension) {
            const QString ext = ExtensionOf(entry);
            if (!ext.isEmpty())
                keys.insert(UpperName(ext));
        } else {
            keys.insert(UpperName(NameWithoutExt(entry)));
        }
    }
    return int(keys.size());
}

quint64 CompressionRun::bytesOf(const QList<int>& rows) {
    if (rowBytes_.size() != size_t(c_.targets.count()))
        rowBytes_.assign(size_t(c_.targets.count()), -1);
    quint64 bytes = 0;
    for (int row : rows) {
        qint64& size = rowBytes_[size_t(row)];
        if (size < 0)
            size = std::max<qint64>(0, QFileInfo(c_.targets.entry(row)).size());
        bytes += quint64(size);
    }
    return bytes;
}

QList<int> CompressionRun::allRows() const {
    QList<int> rows;
    for (int row = 0; row < c_.targets.count(); ++row)
        rows << row;
    return rows;
}

void CompressionRun::groupLoop(bool byExtension, const QString& folder) {
    archiveCount_ = countGroups(byExtension);
    runBytes_ = bytesOf(c_.targets.markedRows());
    for (;;) {
        QString name;
        const qint16 status = byExtension ? naming_.MakeRespFileExp(name, tmpFolder())
                                          : naming_.MakeRespFile(name, tmpFolder());
        if (status == kRespNothingLeft)
            break;
        if (status == kRespFailed) {
            cancel_ = true;
            break;
        }
        c_.host.yield();
        if (cancel_)
            break;
        ++archiveIndex_;
        archiveBytes_ = bytesOf(naming_.RespItems());
        const qint16 verdict = CompressGroup(name, folder);
        bytesFinished_ += archiveBytes_;
        if (verdict == kMade) {
            noteMade(naming_.RespItems());
            naming_.Clear_MakeRespFile();
        } else if (verdict == kNotMadeStop) {
            cancel_ = true;
            break;
        } else {
            // The group stays on the list, but is not offered again.
            naming_.passOverLastGroup();
        }
    }
}

void CompressionRun::normalRun(const QString& folder, bool clearMarksWhenMade) {
    archiveCount_ = 1;
    if (naming_.MakeRespFileAll(tmpFolder()) < 1) {
        cancel_ = true;
        return;
    }
    QString name = c_.host.archiveName();
    if (name.isEmpty())
        name = c_.host.askArchiveName();
    if (name.isEmpty()) {
        cancel_ = true;
        return;
    }
    archiveIndex_ = 1;
    runBytes_ = archiveBytes_ = bytesOf(allRows());
    const qint16 verdict = CompressGroup(name, folder);
    if (verdict == kMade)
        noteMade(allRows());
    if (verdict == kMade && clearMarksWhenMade)
        c_.targets.SelectClear();
    else if (verdict == kNotMadeStop)
        cancel_ = true;
}

void CompressionRun::fileLoop(const QString& folder, bool interactive) {
    const int count = c_.targets.count();
    archiveCount_ = count;
    runBytes_ = bytesOf(allRows());
    const Module module = c_.options.AshukuExe == kFormatZip ? Module::Zip : Module::Lha;
    int width = c_.archivesInFlight > 0 ? c_.archivesInFlight
                                        : int(std::max(1u, std::thread::hardware_concurrency()));
    if (busy(module) || !c_.archivers.canRunSideBySide(module))
        width = 1;
    if (width > 1 && count > 1) {
        fileLoopSideBySide(folder, interactive, std::min(width, count));
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (interactive)
            c_.host.scrollTargetToTop(i);
        c_.host.yield();
        if (cancel_)
            break;
        archiveIndex_ = i + 1;
        archiveBytes_ = bytesOf({i});
        const qint16 verdict = CompressOneFile(c_.targets.entry(i), folder);
        bytesFinished_ += archiveBytes_;
        if (verdict == kNotMadeStop) {
            cancel_ = true;
            break;
        }
        if (verdict == kMade)
            noteMade({i});
        if (verdict == kMade && interactive)
            c_.targets.setMarked(i, false);
    }
}

// Up to `width` archives are made at once, each module call on a worker of its
// own; they are reported in list order, each once it and all before it are
// done, so the log, the output list and the target list come out as a run of
// one archive at a time gives them. A stop (disk full, destination, cancel)
// cancels the calls in flight; of those, only archives that were made after
// all are reported.
void CompressionRun::fileLoopSideBySide(const QString& folder, bool interactive, int width) {
    const int count = c_.targets.count();
    struct Job {
        FilePlan plan;
        quint64 bytes = 0; // of its file
        int code = 0;
        bool done = false;
    };
    std::vector<Job> jobs(static_cast<size_t>(count));
    workers_.setMaxThreadCount(width);
    QEventLoop loop;
    int started = 0, reported = 0;
    bool stopped = false, stopReported = false;
    // The archives being made, one call each. Two files of one name go into
    // one archive: its second call waits for the first, as it would in a run
    // of one archive at a time.
    QSet<QString> archivesInFlight;
    while (reported < count) {
        while (!stopped && archivesInFlight.size() < width && started < count) {
            if (interactive)
                c_.host.scrollTargetToTop(started);
            c_.host.yield();
            if (cancel_) {
                stopped = true;
                break;
            }
            FilePlan plan = planOneFile(c_.targets.entry(started), folder);
            if (plan.needsCall && archivesInFlight.contains(plan.archive))
                break;
            Job& job = jobs[size_t(started)];
            job.plan = std::move(plan);
            job.bytes = bytesOf({started});
            ++started;
            if (!job.plan.needsCall) {
                job.code = job.plan.code;
                job.done = true;
                continue;
            }
            archivesInFlight.insert(job.plan.archive);
            workers_.start([this, &job, &archivesInFlight, &loop,
                            handler = progressHandler(started, job.plan.archive, job.bytes)] {
                const int code =
                    c_.archivers.runSideBySide(job.plan.module, job.plan.commandLine, handler);
                QMetaObject::invokeMethod(
                    this,
                    [&job, &archivesInFlight, &loop, code] {
                        job.code = code;
                        job.done = true;
                        archivesInFlight.remove(job.plan.archive);
                        loop.quit();
                    },
                    Qt::QueuedConnection);
            });
        }
        for (; reported < started && jobs[size_t(reported)].done; ++reported) {
            Job& job = jobs[size_t(reported)];
            // After a stop, the first archive not made is the one a run of one
            // archive at a time would have been making; the others it would
            // never have started.
            const bool made = madeArchive(job.code);
            if (stopped && !made && stopReported)
                continue;
            bytesFinished_ += job.bytes;
            const qint16 verdict = reportOneFile(job.plan, job.code);
            if (verdict == kNotMadeStop || (stopped && !made)) {
                cancel_ = true;
                stopped = true;
                stopReported = true;
            } else if (verdict == kMade) {
                noteMade({reported});
                if (interactive)
                    c_.targets.setMarked(reported, false);
            }
        }
        if (reported == started && (stopped || started == count))
            break;
        if (reported < started)
            loop.exec();
    }
    workers_.setMaxThreadCount(1);
}

void CompressionRun::noteMade(const QList<int>& rows) {
    for (int row : rows)
        madeRows_.insert(row);
    if (archiveSkipped_ == 0)
        return;
    // The module skipped files: those known to be among them are a second
    // file of a stored name already taken, and a file that cannot be read.
    QSet<QString> storedNames;
    for (int row : rows) {
        const QString entry = c_.targets.entry(row);
        const QString stored = FileNameOf(entry);
        if (storedNames.contains(stored) || !CanOpenForReading(entry))
            skippedRows_.insert(row);
        storedNames.insert(stored);
    }
}

bool CompressionRun::begin() {
    running_ = true;
    archiveIndex_ = 0;
    archiveCount_ = 0;
    runBytes_ = 0;
    bytesFinished_ = 0;
    archiveBytes_ = 0;
    rowBytes_.clear();
    archivesMade_ = 0;
    skippedFiles_ = 0;
    madeRows_.clear();
    skippedRows_.clear();
    naming_.resetPassedOver();
    if (folder_.create(c_.options.TmpDir, c_.privateTemp))
        return true;
    c_.host.showMessage(kNoTemporaryFolder.arg(c_.options.TmpDir));
    cancel_ = true;
    return false;
}

RunOutcome CompressionRun::end() {
    RunOutcome outcome;
    outcome.finished = !cancel_;
    outcome.archivesMade = archivesMade_;
    outcome.skippedFiles = skippedFiles_;
    for (int row = 0; row < c_.targets.count(); ++row) {
        if (!madeRows_.contains(row) || skippedRows_.contains(row))
            outcome.notArchived << c_.targets.entry(row);
    }
    lastRunFolder_ = folder_.path();
    folder_.remove();
    return outcome;
}

RunOutcome CompressionRun::btnExe_Click(int index, const QString& outputFolder) {
    if (running_)
        return {};
    const OptionSet& o = c_.options;
    if (o.Ashuku == kMethodDouble && (o.Pattern == 2 || o.Pattern == 3)) {
        c_.host.showMessage(kZipRestrictionDouble);
        return {};
    }
    if (o.Ashuku != kMethodDouble && index != kModeFileN && o.AshukuExe == kFormatZip) {
        c_.host.showMessage(kZipRestrictionFormat);
        return {};
    }

    c_.host.lockInterface();
    c_.log.removeAll();
    c_.targets.SelectAll();
    c_.targets.setLocked(true);
    const QString folder = outputFolder.isEmpty() ? QString() : withSlash(outputFolder);

    switch (begin() ? index : -1) {
    case kModeDravo:
        groupLoop(false, folder);
        break;
    case kModeNormal:
        normalRun(folder, true);
        break;
    case kModeExp:
        groupLoop(true, folder);
        break;
    case kModeFileN:
        fileLoop(folder, true);
        break;
    default:
        break;
    }

    const RunOutcome outcome = end();
    c_.targets.setLocked(false);
    c_.targets.removeUnmarked();
    c_.targets.SelectClear();
    log(resAll(cancel_ ? 30 : 31));
    cancel_ = false;
    running_ = false;
    c_.host.unlockInterface();
    c_.host.runFinished();
    return outcome;
}

RunOutcome CompressionRun::AutoRun(int mode, const QString& outputFolder) {
    if (running_)
        return {};
    c_.targets.SelectAll();
    c_.targets.setLocked(true);
    const bool ready = begin();
    const QString folder = outputFolder.isEmpty() ? QString() : withSlash(outputFolder);
    // The automatic modes follow the options dialog's labels: Dravo, normal,
    // Exp, FileN.
    switch (ready ? mode : -1) {
    case kModeDravo:
        groupLoop(false, folder);
        break;
    case kModeNormal:
        normalRun(folder, false);
        break;
    case kModeExp:
        groupLoop(true, folder);
        break;
    case kModeFileN:
        fileLoop(folder, false);
        break;
    default:
        break;
    }
    const RunOutcome outcome = end();
    c_.targets.setLocked(false);
    log(resAll(outcome.finished ? 31 : 30));
    running_ = false;
    c_.host.runFinished();
    return outcome;
}

} // namespace dravonel
