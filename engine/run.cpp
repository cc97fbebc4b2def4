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
#include <climits>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

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

// Whether `name` fits the file system of `folder` as one name.
bool nameFits(const QString& folder, const QString& name) {
    long most = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    if (most <= 0)
        most = NAME_MAX;
    return QFile::encodeName(name).size() <= most;
}

ArchiveKind kindOf(ArchiverModule module) {
    return module == ArchiverModule::Zip ? ArchiveKind::Zip : ArchiveKind::Lzh;
}

// The line that names a file that is in no archive, and why.
QString notArchivedLine(const QString& path, ProofFailure failure) {
    return QStringLiteral("　圧縮されていません（%1）：%2")
        .arg(failureText(failure), ShortPath(path));
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

QString CompressionRun::lockFolder() const {
    // One place for the locks of all the user's runs, whatever temporary
    // folder each was given.
    QString base = c_.privateTemp;
    if (base.isEmpty()) {
        base = tmpFolder();
        if (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        base = FolderOf(base);
    }
    return withSlash(base) + QStringLiteral("locks");
}

bool CompressionRun::lockArchive(ArchiveLock& lock, const QString& archive) {
    return lock.acquire(lockFolder(), archive, [this] {
        c_.host.yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return !cancel_.load();
    });
}

void CompressionRun::prove(const QString& archive, ArchiveKind kind, Proof& proof,
                           const QString& inner, ArchiveKind innerKind) {
    auto failAll = [&proof](ProofFailure failure) {
        proof.failures = QList<ProofFailure>(proof.files.size(), failure);
    };
    QList<ListedMember> members;
    if (listArchive(c_.archivers, kind, archive, members) != 0)
        return failAll(ProofFailure::NotInArchive);
    if (inner.isEmpty()) {
        proof.failures = proveFiles(members, kind, proof.files);
        return;
    }
    // The final archive holds the inner archive byte for byte, and the inner
    // archive the files.
    const Fingerprint print = fingerprintOf(inner, kind);
    if (!print.readable || !holdsMember(members, FileNameOf(inner), print))
        return failAll(ProofFailure::Differs);
    if (listArchive(c_.archivers, innerKind, inner, members) != 0)
        return failAll(ProofFailure::NotInArchive);
    proof.failures = proveFiles(members, innerKind, proof.files);
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

qint16 CompressionRun::finish(int code, const QString& archive, const Proof& proof) {
    qint16 verdict = ReportResult(code);
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
        log(resDravonel(20021));
    } else {
        log(resDravonel(20020));
        ++archivesMade_;
        c_.outputs.ListInAdd(archive);
    }
    return verdict;
}

qint16 CompressionRun::CompressGroup(const QString& name, const QString& outputFolder) {
    const OptionSet& o = c_.options;
    const QString n = o.UCase ? UpperName(name) : name;
    const QString w = QStringLiteral("-w") + tmpFolder();
    const QString r = responseFilePath(tmpFolder());
    const QString t = tmpFolder();
    const QString out = withSlash(outputFolder);
    Proof& proof = lastProof_;
    proof = Proof{};
    for (int row : groupRows_)
        proof.files << c_.targets.entry(row);

    if (!CheckRespFile(r)) {
        log(resDravonel(20101));
        return finish(kCodeMissing, QString());
    }
    if (!safeArchiveName(n))
        return finish(kCodeMissing, QString());
    // An output folder that has no long form must not turn into the root.
    if (outputFolder.isEmpty())
        return finish(kCodeDestination, QString());

    const bool isDouble = o.Ashuku == kMethodDouble;
    const bool innerZip = o.Pattern == 2 || o.Pattern == 3;
    const bool outerZip = o.Pattern == 1 || o.Pattern == 3;
    const QString innerExt = innerZip ? QStringLiteral(".ZIP") : QStringLiteral(".LZH");
    const QString outerExt = outerZip ? QStringLiteral(".ZIP") : QStringLiteral(".LZH");
    const QString archiveName = isDouble ? n + innerExt + outerExt
                                         : n + (o.AshukuExe == kFormatZip ? QStringLiteral(".ZIP")
                                                                          : QStringLiteral(".LZH"));
    // A name the file system cannot hold is refused before anything is made.
    if (!nameFits(outputFolder, archiveName) || (isDouble && !nameFits(t, n + innerExt))) {
        proof.failures = QList<ProofFailure>(proof.files.size(), ProofFailure::NameTooLong);
        return finish(kCodeMissing, QString(), proof);
    }
    // No other run updates the archive until it is made and proven.
    ArchiveLock lock;
    if (!lockArchive(lock, out + archiveName))
        return finish(cancel_ ? int(ARC_ERR_CANCELLED) : kCodeDestination, QString());

    int code = 0;
    QString archive;
    if (!isDouble) {
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
        if (madeArchive(code))
            onWorker([&] {
                prove(archive, o.AshukuExe == kFormatZip ? ArchiveKind::Zip : ArchiveKind::Lzh,
                      proof);
            });
        return finish(code, archive, proof);
    }

    // Double compression: the files are stored in an inner archive in the
    // temporary folder, which is then compressed into the final archive.
    const QString inner = t + n + innerExt;
    const QString final = out + archiveName;

    // An inner archive left behind by an earlier failure must not be merged
    // into the new one.
    QFile::remove(inner);
    if (o.Double && CanOpenForReading(final)) {
        log(resDravonel(20050));
        // The old inner archive is the member whose whole stored path is its
        // name; a final archive without one gets it added beside what it
        // holds, and one that cannot be read is left as it is.
        QList<ListedMember> members;
        if (listArchive(c_.archivers, outerZip ? ArchiveKind::Zip : ArchiveKind::Lzh, final,
                        members) != 0)
            return finish(kCodeMissing, QString());
        const bool holdsInner = std::any_of(members.begin(), members.end(),
                                            [&](const auto& m) { return m.path == n + innerExt; });
        if (holdsInner && outerZip) {
            if (!c_.archivers.UnZipGetRunning())
                call(Module::UnZip, commandLine(QStringLiteral("-x"), {final, t}, {n + innerExt}),
                     final);
        } else if (holdsInner && !c_.archivers.UnlhaGetRunning()) {
            call(Module::Lha, commandLine(QStringLiteral("x -+"), {final, t}, {n + innerExt}),
                 final);
        }
        // Without its old inner archive the update would replace the final
        // archive by one that lacks its old contents: leave it as it is.
        if (holdsInner && !QFileInfo(inner).isFile())
            return finish(kCodeMissing, QString());
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
        // Stage 2 replaces the inner archive in the final one whenever its
        // bytes differ, whatever the times of the two say.
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
        if (madeArchive(code))
            onWorker([&] {
                prove(final, outerZip ? ArchiveKind::Zip : ArchiveKind::Lzh, proof, inner,
                      innerZip ? ArchiveKind::Zip : ArchiveKind::Lzh);
            });
    }
    QFile::remove(inner);
    return finish(code, final, proof);
}

CompressionRun::FilePlan CompressionRun::planOneFile(const QString& path,
                                                     const QString& outputFolder) {
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
    const bool zip = o.AshukuExe == kFormatZip;
    if (zip ? !c_.libraries.ZipAvailable : !c_.libraries.LhaAvailable)
        return plan;
    const QString name = n + (zip ? QStringLiteral(".ZIP") : QStringLiteral(".LZH"));
    // One archive a file: a later file whose archive an earlier one of this
    // run made (the same name in two folders, or in two letter cases once
    // upper-cased) would replace that file's member, so it is refused.
    if (!nameFits(outputFolder, name)) {
        plan.refused = ProofFailure::NameTooLong;
        return plan;
    }
    if (archivesOfRun_.contains(out + name)) {
        plan.refused = ProofFailure::NameTaken;
        return plan;
    }
    archivesOfRun_.insert(out + name);
    plan.archive = out + name;
    plan.needsCall = true;
    if (zip) {
        plan.lines << resDravonel(stored ? 20015 : 20010);
        plan.module = Module::Zip;
        plan.commandLine = commandLine(
            zipOptions(o.ZipOpt, o) + (stored ? QStringLiteral(" -0 ") : QStringLiteral(" -9 ")),
            {plan.archive, path});
    } else {
        plan.lines << resDravonel(stored ? 20005 : 20000);
        plan.module = Module::Lha;
        plan.commandLine = commandLine(stored ? o.Lzh_Opt + QStringLiteral(" -z1 ") : o.Lzh_Opt,
                                       {QStringLiteral("-w") + tmpFolder(), plan.archive, path});
    }
    return plan;
}

int CompressionRun::makeOneFile(const FilePlan& plan, const ProgressHandler& handler,
                                Proof& proof) {
    ArchiveLock lock;
    if (!lock.acquire(lockFolder(), plan.archive, [this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return !cancel_.load();
        }))
        return cancel_ ? int(ARC_ERR_CANCELLED) : kCodeDestination;
    const int code = c_.archivers.runSideBySide(plan.module, plan.commandLine, handler);
    if (madeArchive(code))
        prove(plan.archive, kindOf(plan.module), proof);
    return code;
}

qint16 CompressionRun::reportOneFile(const FilePlan& plan, int code, const Proof& proof) {
    for (const QString& line : plan.lines)
        log(line);
    return finish(code, plan.archive, proof);
}

qint16 CompressionRun::CompressOneFile(const QString& path, const QString& outputFolder, int row) {
    FilePlan plan = planOneFile(path, outputFolder);
    // Made one at a time, the archive's lines are in the log while it is made.
    for (const QString& line : std::exchange(plan.lines, {}))
        log(line);
    Proof proof{{path}, {}};
    int code = plan.code;
    if (plan.refused != ProofFailure::None) {
        proof.failures = {plan.refused};
    } else if (plan.needsCall) {
        ArchiveLock lock;
        if (!lockArchive(lock, plan.archive)) {
            code = cancel_ ? int(ARC_ERR_CANCELLED) : kCodeDestination;
        } else {
            code = compress(plan.module, plan.commandLine, plan.archive);
            if (madeArchive(code))
                onWorker([&] { prove(plan.archive, kindOf(plan.module), proof); });
        }
    }
    const qint16 verdict = reportOneFile(plan, code, proof);
    if (row >= 0)
        noteProof({row}, proof, verdict == kMade);
    return verdict;
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
        groupRows_ = naming_.RespItems();
        archiveBytes_ = bytesOf(groupRows_);
        const qint16 verdict = CompressGroup(name, folder);
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
    const qint16 verdict = CompressGroup(name, folder);
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

int CompressionRun::threadBudget() const {
    return c_.archivesInFlight > 0 ? c_.archivesInFlight
                                   : int(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

void CompressionRun::fileLoop(const QString& folder, bool interactive) {
    const int count = c_.targets.count();
    archiveCount_ = count;
    runBytes_ = bytesOf(allRows());
    const Module module = c_.options.AshukuExe == kFormatZip ? Module::Zip : Module::Lha;
    int width = threadBudget();
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
        const qint16 verdict = CompressOneFile(c_.targets.entry(i), folder, i);
        bytesFinished_ += archiveBytes_;
        if (verdict == kNotMadeStop) {
            cancel_ = true;
            break;
        }
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
        Proof proof;
        quint64 bytes = 0; // of its file
        int code = 0;
        bool done = false;
    };
    std::vector<Job> jobs(static_cast<size_t>(count));
    workers_.setMaxThreadCount(width);
    // The archives in flight share the run's threads out between them.
    c_.archivers.setThreadsPerCall(std::max(1, threadBudget() / width));
    QEventLoop loop;
    int started = 0, reported = 0;
    bool stopped = false, stopReported = false;
    // The calls in flight. Every file's archive is one of its own in this
    // run (a second file of the same archive is refused when planned).
    int inFlight = 0;
    while (reported < count) {
        while (!stopped && inFlight < width && started < count) {
            if (interactive)
                c_.host.scrollTargetToTop(started);
            c_.host.yield();
            if (cancel_) {
                stopped = true;
                break;
            }
            Job& job = jobs[size_t(started)];
            job.plan = planOneFile(c_.targets.entry(started), folder);
            job.proof.files = QStringList{c_.targets.entry(started)};
            job.bytes = bytesOf({started});
            ++started;
            if (!job.plan.needsCall) {
                job.code = job.plan.code;
                if (job.plan.refused != ProofFailure::None)
                    job.proof.failures = {job.plan.refused};
                job.done = true;
                continue;
            }
            ++inFlight;
            workers_.start([this, &job, &inFlight, &loop,
                            handler = progressHandler(started, job.plan.archive, job.bytes)] {
                const int code = makeOneFile(job.plan, handler, job.proof);
                QMetaObject::invokeMethod(
                    this,
                    [&job, &inFlight, &loop, code] {
                        job.code = code;
                        job.done = true;
                        --inFlight;
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
            const qint16 verdict = reportOneFile(job.plan, job.code, job.proof);
            noteProof({reported}, job.proof, verdict == kMade);
            if (verdict == kNotMadeStop || (stopped && !made)) {
                cancel_ = true;
                stopped = true;
                stopReported = true;
            } else if (verdict == kMade && interactive) {
                c_.targets.setMarked(reported, false);
            }
        }
        if (reported == started && (stopped || started == count))
            break;
        if (reported < started)
            loop.exec();
    }
    workers_.setMaxThreadCount(1);
    c_.archivers.setThreadsPerCall(threadBudget());
}

void CompressionRun::noteProof(const QList<int>& rows, const Proof& proof, bool made) {
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ProofFailure failure =
            i < proof.failures.size() ? proof.failures[i] : ProofFailure::NotInArchive;
        if (made && failure == ProofFailure::None)
            madeRows_.insert(rows[i]);
        else if (failure != ProofFailure::None && (made || i < proof.failures.size()))
            failedRows_.insert(rows[i], failureText(failure));
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
    for (int row = 0; row < c_.targets.count(); ++row) {
        if (!madeRows_.contains(row))
            outcome.notArchived.append({c_.targets.entry(row), failedRows_.value(row)});
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
