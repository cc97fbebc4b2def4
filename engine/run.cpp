#include "run.h"

#include "archivers.h"
#include "formats.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "paths.h"
#include "result_log.h"
#include "run_support.h"
#include "target_list.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace dravonel {

using namespace run_support;

namespace {

const QString kZipRestrictionDouble =
    QStringLiteral("現在のZIP32J.DLL IZIP32J.DLLでは実行できません。（２重圧縮の１重目のＺＩＰ）");
const QString kNoTemporaryFolder =
    QStringLiteral("一時フォルダ（%1）も専用の一時フォルダも使えないため実行できません。");
const QString kZipRestrictionFormat = QStringLiteral(
    "現在のZIP32J.DLL IZIP32J.DLLでは実行できません。（通常・非圧縮のＦＩｌｅＮ以外　ＺＩＰ）");
const QString kNoExtension = QStringLiteral("拡張子がありません");
const QString kArchiveNameWithSlash = QStringLiteral("書庫名に「/」は使えません");
const QString kArchiveNameNotUtf8 = QStringLiteral("書庫名が UTF-8 ではありません");
const QString kOldInnerNotExtracted = QStringLiteral("更新する書庫から中の書庫を取り出せません");

// Whether the archive's name is held by something other than a regular file
// (a link the module does not write through) while its folder still takes new
// files: the module that would not replace it failed for this archive alone.
bool nameHeldInUsableFolder(const QString& archive) {
    struct stat st;
    return !archive.isEmpty() && ::lstat(QFile::encodeName(archive).constData(), &st) == 0 &&
           !S_ISREG(st.st_mode) && CanCreateFilesIn(FolderOf(archive));
}

// Why an archive was not made, as its module's (or the run's own) code says,
// for the files it was to hold.
QString notMadeText(int code) {
    switch (code) {
    case ARC_ERR_DISK_FULL:
        return resDravonel(msg::RunDiskFull).trimmed();
    case ARC_ERR_CANNOT_WRITE_DEST:
        return resDravonel(msg::RunOutputNotWritable).trimmed();
    case ARC_ERR_CANCELLED:
        return resDravonel(msg::RunCancelled).trimmed();
    case ARC_ERR_NOT_FOUND: // the module passed over every file it was given
        return failureText(ProofFailure::NotInArchive);
    case ARC_ERR_ARCHIVE_OPEN:
        return QStringLiteral("書庫名のファイルを開けません");
    case ARC_ERR_METHOD:
    case ARC_ERR_FILE_CRC:
    case ARC_ERR_BAD_DATA:
    case ARC_ERR_HEADER_CRC:
    case ARC_ERR_HEADER_BROKEN:
    case ARC_ERR_NOT_ARCHIVE:
    case ARC_ERR_CANNOT_READ:
        // An existing file of the archive's name, which is updated in place.
        return QStringLiteral("書庫名のファイルを書庫として読めません");
    case kCodeMissing:
        return QStringLiteral("圧縮用のモジュールがありません");
    case kCodeBusy:
        return QStringLiteral("圧縮用のモジュールが使用中です");
    default:
        return QStringLiteral("書庫を作れませんでした（%1）").arg(code);
    }
}

} // namespace

Restriction checkRestrictions(const OptionSet& o, RunMode mode) {
    if (o.Ashuku == kMethodDouble && innerFormat(o).kind == ArchiveKind::Zip)
        return Restriction::ZipInnerArchive;
    if (o.Ashuku != kMethodDouble && mode != kModeFileN && o.AshukuExe == kFormatZip)
        return Restriction::ZipOutsideFileN;
    return Restriction::None;
}

QString restrictionMessage(Restriction restriction) {
    switch (restriction) {
    case Restriction::ZipInnerArchive:
        return kZipRestrictionDouble;
    case Restriction::ZipOutsideFileN:
        return kZipRestrictionFormat;
    case Restriction::None:
        break;
    }
    return QString();
}

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

Verdict CompressionRun::ReportResult(int code) {
    if (code == 0)
        return kMade;
    if (madeArchive(code)) {
        log(resDravonel(msg::RunSkippedHead) + QLatin1Char(' ') + QString::number(code) +
            resDravonel(msg::RunSkippedTail));
        return kMade;
    }
    switch (code) {
    case ARC_ERR_DISK_FULL:
        log(resDravonel(msg::RunDiskFull));
        return kNotMadeStop;
    case ARC_ERR_CANNOT_WRITE_DEST:
        log(resDravonel(msg::RunOutputNotWritable));
        return kNotMadeStop;
    case ARC_ERR_CANCELLED:
        log(resDravonel(msg::RunCancelled));
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

void CompressionRun::onWorker(const std::function<void()>& work) {
    // The work runs on a worker thread while this thread keeps the event loop
    // running, so the windows repaint and the cancel button works.
    QEventLoop loop;
    workers_.start([&] {
        work();
        // Posted to this object, which outlives the call, so that the worker
        // touches nothing of this frame once the loop may end.
        QMetaObject::invokeMethod(
            this, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
}

int CompressionRun::call(Module module, const QString& commandLine, const QString& archive) {
    Archivers& a = c_.archivers;
    a.setProgressHandler(progressHandler(archiveIndex_, archive, archiveBytes_));
    int result = 0;
    onWorker([&] {
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
    });
    a.setProgressHandler(nullptr);
    return result;
}

bool CompressionRun::busy(Module module) {
    switch (module) {
    case Module::Lha:
        return c_.archivers.UnlhaGetRunning();
    case Module::Zip:
        return c_.archivers.ZipGetRunning();
    case Module::UnZip:
        return c_.archivers.UnZipGetRunning();
    }
    return false;
}

int CompressionRun::compress(Module module, const QString& commandLine, const QString& archive) {
    if (busy(module)) {
        c_.host.showMessage(resDravonel(
            formatTable(module == Module::Zip ? ArchiveKind::Zip : ArchiveKind::Lzh).busyMessage));
        return kCodeBusy;
    }
    return call(module, commandLine, archive);
}

Verdict CompressionRun::finish(int code, const QString& archive, const Proof& proof,
                               const QString& reason) {
    // A module cannot write the archive either because the output folder
    // takes no files (the run stops) or because its name is held by a link it
    // does not write through (the run goes on without this archive).
    if (code == ARC_ERR_CANNOT_WRITE_DEST && nameHeldInUsableFolder(archive))
        code = ARC_ERR_ARCHIVE_OPEN;
    Verdict verdict = ReportResult(code);
    if (verdict == kMade) {
        // Each file the archive does not hold is named; an archive that holds
        // none of its files was not made by this run.
        bool any = false;
        for (qsizetype i = 0; i < proof.files.size(); ++i) {
            const ProofFailure failure =
                i < proof.failures.size() ? proof.failures[i] : ProofFailure::NotInArchive;
            if (failure == ProofFailure::None)
                any = true;
            else
                log(notArchivedLine(proof.files[i], failure));
        }
        if (!any)
            verdict = kNotMadeGoOn;
    } else {
        for (qsizetype i = 0; i < proof.failures.size(); ++i)
            if (proof.failures[i] != ProofFailure::None)
                log(notArchivedLine(proof.files[i], proof.failures[i]));
    }
    if (verdict != kMade) {
        notMadeReason_ = reason.isEmpty() ? notMadeText(code) : reason;
        log(resDravonel(msg::RunNotCompressed));
    } else {
        log(resDravonel(msg::RunCompressed));
        ++archivesMade_;
        c_.outputs.ListInAdd(archive);
    }
    return verdict;
}

int CompressionRun::pack(const FormatTable& format, int line, const QString& options,
                         const QStringList& arguments, const QString& archive) {
    if (!isAvailable(format, c_.libraries)) {
        if (format.missingMessage != 0)
            c_.host.showMessage(resDravonel(format.missingMessage));
        return kCodeMissing;
    }
    log(resDravonel(line));
    return compress(format.maker, commandLine(options, arguments), archive);
}

Verdict CompressionRun::CompressGroup(const QString& name, const QString& outputFolder) {
    const OptionSet& o = c_.options;
    const QString n = o.UCase ? UpperName(name) : name;
    const QString t = tmpFolder();
    const QString out = withSlash(outputFolder);
    Proof& proof = lastProof_;
    proof = Proof{};
    for (int row : groupRows_)
        proof.files << c_.targets.entry(row);

    const QString r = responseFilePath(t);
    if (!CheckRespFile(r)) {
        log(resDravonel(msg::RunResponseFileError));
        return finish(kCodeMissing, QString(), {},
                      resDravonel(msg::RunResponseFileError).trimmed());
    }
    if (!safeArchiveName(n))
        return finish(kCodeMissing, QString(), {}, kArchiveNameWithSlash);
    // A name with bytes that are not UTF-8 (a job's or the command line's)
    // has no spelling of its own: the file system would get "?" for them and
    // the run would make or update an archive of another name.
    if (HoldsUndecodedBytes(n))
        return finish(kCodeMissing, QString(), {}, kArchiveNameNotUtf8);
    // An output folder that has no long form must not turn into the root.
    if (outputFolder.isEmpty())
        return finish(kCodeDestination, QString());

    const bool isDouble = o.Ashuku == kMethodDouble;
    const FormatTable& inner = isDouble ? innerFormat(o) : chosenFormat(o);
    const FormatTable& outer = outerFormat(o);
    const QString innerName = n + QLatin1String(inner.extension);
    const QString archiveName = isDouble ? innerName + QLatin1String(outer.extension) : innerName;
    // A name the file system cannot hold is refused before anything is made.
    if (!nameFits(outputFolder, archiveName) || (isDouble && !nameFits(t, innerName))) {
        proof.failures = QList<ProofFailure>(proof.files.size(), ProofFailure::NameTooLong);
        return finish(kCodeMissing, QString(), proof);
    }
    const QString final = out + archiveName;
    // No other run updates the archive until it is made and proven.
    ArchiveLock lock;
    if (!lockArchive(lock, final))
        return finish(cancel_ ? int(ARC_ERR_CANCELLED) : kCodeDestination, QString());

    if (!isDouble) {
        // The LHA module is there (the program does not start without it).
        const bool stored = o.Ashuku == kMethodStored;
        const int code =
            pack(inner, stored ? inner.packingStored : inner.packing, packOptions(inner, o, stored),
                 packArguments(inner, t, final, responseReference(inner, r)), final);
        if (madeArchive(code))
            onWorker([&] { prove(final, inner.kind, proof); });
        return finish(code, final, proof);
    }
    return packDouble(inner, outer, final, innerName, proof);
}

Verdict CompressionRun::packDouble(const FormatTable& inner, const FormatTable& outer,
                                   const QString& final, const QString& innerName, Proof& proof) {
    const QString t = tmpFolder();
    // The files are stored in an inner archive in the temporary folder, which
    // is then compressed into the final archive.
    const QString staged = t + innerName;
    // An inner archive left behind by an earlier failure must not be merged
    // into the new one.
    QFile::remove(staged);
    if (c_.options.Double && CanOpenForReading(final) && !stageOldInner(outer, final, innerName))
        return finish(kCodeMissing, QString(), {}, kOldInnerNotExtracted);

    int code =
        pack(inner, inner.packingInner, packOptions(inner, c_.options, true),
             packArguments(inner, t, staged, responseReference(inner, responseFilePath(t))), final);
    if (ReportResult(code) == kMade) {
        // Stage 2 replaces the inner archive in the final one whenever its
        // bytes differ, whatever the times of the two say.
        code = pack(outer, outer.packingOuter,
                    outerOptions(outer, c_.options, innerName.startsWith(QLatin1Char('.'))),
                    packArguments(outer, t, final, staged), final);
        if (madeArchive(code))
            onWorker([&] { prove(final, outer.kind, proof, staged, inner.kind); });
    }
    QFile::remove(staged);
    return finish(code, final, proof);
}

bool CompressionRun::stageOldInner(const FormatTable& outer, const QString& final,
                                   const QString& innerName) {
    const QString t = tmpFolder();
    log(resDravonel(msg::RunExtractingForUpdate));
    // The old inner archive is the member whose whole stored path is its name;
    // a final archive without one gets it added beside what it holds, and one
    // that cannot be read is left as it is.
    QList<ListedMember> members;
    if (listArchive(c_.archivers, outer.kind, final, members) != 0)
        return false;
    const bool holdsInner = std::any_of(members.begin(), members.end(),
                                        [&](const auto& m) { return m.path == innerName; });
    if (holdsInner && !busy(outer.reader))
        call(outer.reader, commandLine(QLatin1String(outer.extractSwitch), {final, t}, {innerName}),
             final);
    // Without its old inner archive the update would replace the final archive
    // by one that lacks its old contents: leave it as it is.
    return !holdsInner || QFileInfo(t + innerName).isFile();
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
    // Files without an extension go into no archive of the Exp mode.
    if (byExtension) {
        for (int row : c_.targets.markedRows()) {
            if (ExtensionOf(c_.targets.entry(row)).isEmpty())
                failedRows_.insert(row, kNoExtension);
        }
    }
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
        groupRows_ = naming_.RespItems();
        archiveBytes_ = bytesOf(groupRows_);
        const Verdict verdict = CompressGroup(name, folder);
        bytesFinished_ += archiveBytes_;
        noteProof(groupRows_, lastProof_, verdict == kMade);
        if (verdict == kNotMadeStop) {
            cancel_ = true;
            break;
        }
        // The files the archive holds lose their marks; the others stay on
        // the list, but are not offered again in this run (offered again, a
        // file whose name is taken would replace the member it lost to).
        const bool allProven = std::all_of(groupRows_.begin(), groupRows_.end(),
                                           [this](int row) { return madeRows_.contains(row); });
        if (allProven) {
            naming_.Clear_MakeRespFile();
            continue;
        }
        for (int row : groupRows_) {
            if (madeRows_.contains(row))
                c_.targets.setMarked(row, false);
        }
        naming_.passOverLastGroup();
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
    groupRows_ = allRows();
    runBytes_ = archiveBytes_ = bytesOf(groupRows_);
    const Verdict verdict = CompressGroup(name, folder);
    noteProof(groupRows_, lastProof_, verdict == kMade);
    if (verdict == kMade && clearMarksWhenMade) {
        for (int row : groupRows_) {
            if (madeRows_.contains(row))
                c_.targets.setMarked(row, false);
        }
    } else if (verdict == kNotMadeStop) {
        cancel_ = true;
    }
}

void CompressionRun::noteProof(const QList<int>& rows, const Proof& proof, bool made) {
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ProofFailure failure =
            i < proof.failures.size() ? proof.failures[i] : ProofFailure::NotInArchive;
        if (made && failure == ProofFailure::None)
            madeRows_.insert(rows[i]);
        else if (failure != ProofFailure::None && (made || i < proof.failures.size()))
            failedRows_.insert(rows[i], failureText(failure));
        else if (!made)
            failedRows_.insert(rows[i], notMadeReason_);
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
    madeRows_.clear();
    failedRows_.clear();
    archivesOfRun_.clear();
    naming_.resetPassedOver();
    c_.archivers.setThreadsPerCall(threadBudget());
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
    // A file the run did not reach was left by its stop.
    const QString notReached = resAll(common_msg::RunInterrupted);
    for (int row = 0; row < c_.targets.count(); ++row) {
        if (!madeRows_.contains(row))
            outcome.notArchived.append({c_.targets.entry(row), failedRows_.value(row, notReached)});
    }
    lastRunFolder_ = folder_.path();
    folder_.remove();
    return outcome;
}

RunOutcome CompressionRun::run(RunMode mode, const QString& outputFolder) {
    if (running_)
        return {};
    const Restriction restriction = checkRestrictions(c_.options, mode);
    if (restriction != Restriction::None) {
        c_.host.showMessage(restrictionMessage(restriction));
        return {};
    }

    c_.host.lockInterface();
    c_.log.removeAll();
    c_.targets.SelectAll();
    c_.targets.setLocked(true);
    const QString folder = outputFolder.isEmpty() ? QString() : withSlash(outputFolder);

    switch (begin() ? int(mode) : -1) {
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
    log(resAll(cancel_ ? common_msg::RunInterrupted : common_msg::AllFinished));
    cancel_ = false;
    running_ = false;
    c_.host.unlockInterface();
    c_.host.runFinished();
    return outcome;
}

RunOutcome CompressionRun::runWithoutWindows(RunMode mode, const QString& outputFolder) {
    if (running_)
        return {};
    c_.targets.SelectAll();
    c_.targets.setLocked(true);
    const bool ready = begin();
    const QString folder = outputFolder.isEmpty() ? QString() : withSlash(outputFolder);
    // The automatic modes follow the options dialog's labels: Dravo, normal,
    // Exp, FileN.
    switch (ready ? int(mode) : -1) {
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
    log(resAll(outcome.finished ? common_msg::AllFinished : common_msg::RunInterrupted));
    running_ = false;
    c_.host.runFinished();
    return outcome;
}

} // namespace dravonel
