// FileN: one archive a file, one at a time or several side by side.
#include "run.h"

#include "formats.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "paths.h"
#include "run_support.h"
#include "target_list.h"

#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace dravonel {

using namespace run_support;

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
    const FormatTable& format = chosenFormat(o);
    if (!isAvailable(format, c_.libraries))
        return plan;
    const QString name = n + QLatin1String(format.extension);
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
    plan.lines << resDravonel(stored ? format.packingStored : format.packing);
    plan.module = format.maker;
    plan.commandLine = commandLine(packOptions(format, o, stored),
                                   packArguments(format, tmpFolder(), plan.archive, path));
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

Verdict CompressionRun::reportOneFile(const FilePlan& plan, int code, const Proof& proof) {
    for (const QString& line : plan.lines)
        log(line);
    return finish(code, plan.archive, proof);
}

Verdict CompressionRun::CompressOneFile(const QString& path, const QString& outputFolder, int row) {
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
    const Verdict verdict = reportOneFile(plan, code, proof);
    if (row >= 0)
        noteProof({row}, proof, verdict == kMade);
    return verdict;
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
        const Verdict verdict = CompressOneFile(c_.targets.entry(i), folder, i);
        bytesFinished_ += archiveBytes_;
        if (verdict == kNotMadeStop) {
            cancel_ = true;
            break;
        }
        if (verdict == kMade && interactive)
            c_.targets.setMarked(i, false);
    }
}

// The state of a FileN loop that makes archives side by side: a job a list
// entry, how many are started and reported, and the calls in flight (every
// file's archive is one of its own in the run: a second file of the same
// archive is refused when planned).
struct CompressionRun::SideBySide {
    struct Job {
        FilePlan plan;
        Proof proof;
        quint64 bytes = 0; // of its file
        int code = 0;
        bool done = false;
    };
    std::vector<Job> jobs;
    QEventLoop loop;
    int started = 0, reported = 0, inFlight = 0;
    bool stopped = false, stopReported = false;
};

// Up to `width` archives are made at once, each module call on a worker of its
// own; they are reported in list order, each once it and all before it are
// done, so the log, the output list and the target list come out as a run of
// one archive at a time gives them. A stop (disk full, destination, cancel)
// cancels the calls in flight; of those, only archives that were made after
// all are reported.
void CompressionRun::fileLoopSideBySide(const QString& folder, bool interactive, int width) {
    const int count = c_.targets.count();
    SideBySide s;
    s.jobs.resize(static_cast<size_t>(count));
    workers_.setMaxThreadCount(width);
    // The archives in flight share the run's threads out between them.
    c_.archivers.setThreadsPerCall(std::max(1, threadBudget() / width));
    while (s.reported < count) {
        while (!s.stopped && s.inFlight < width && s.started < count)
            startFile(s, folder, interactive);
        reportFinishedFiles(s, interactive);
        if (s.reported == s.started && (s.stopped || s.started == count))
            break;
        if (s.reported < s.started)
            s.loop.exec();
    }
    workers_.setMaxThreadCount(1);
    c_.archivers.setThreadsPerCall(threadBudget());
}

void CompressionRun::startFile(SideBySide& s, const QString& folder, bool interactive) {
    if (interactive)
        c_.host.scrollTargetToTop(s.started);
    c_.host.yield();
    if (cancel_) {
        s.stopped = true;
        return;
    }
    SideBySide::Job& job = s.jobs[size_t(s.started)];
    job.plan = planOneFile(c_.targets.entry(s.started), folder);
    job.proof.files = QStringList{c_.targets.entry(s.started)};
    job.bytes = bytesOf({s.started});
    ++s.started;
    if (!job.plan.needsCall) {
        job.code = job.plan.code;
        if (job.plan.refused != ProofFailure::None)
            job.proof.failures = {job.plan.refused};
        job.done = true;
        return;
    }
    ++s.inFlight;
    workers_.start(
        [this, &job, &s, handler = progressHandler(s.started, job.plan.archive, job.bytes)] {
            const int code = makeOneFile(job.plan, handler, job.proof);
            QMetaObject::invokeMethod(
                this,
                [&job, &s, code] {
                    job.code = code;
                    job.done = true;
                    --s.inFlight;
                    s.loop.quit();
                },
                Qt::QueuedConnection);
        });
}

void CompressionRun::reportFinishedFiles(SideBySide& s, bool interactive) {
    for (; s.reported < s.started && s.jobs[size_t(s.reported)].done; ++s.reported) {
        SideBySide::Job& job = s.jobs[size_t(s.reported)];
        // After a stop, the first archive not made is the one a run of one
        // archive at a time would have been making; the others it would never
        // have started.
        const bool made = madeArchive(job.code);
        if (s.stopped && !made && s.stopReported)
            continue;
        bytesFinished_ += job.bytes;
        const Verdict verdict = reportOneFile(job.plan, job.code, job.proof);
        noteProof({s.reported}, job.proof, verdict == kMade);
        if (verdict == kNotMadeStop || (s.stopped && !made)) {
            cancel_ = true;
            s.stopped = true;
            s.stopReported = true;
        } else if (verdict == kMade && interactive) {
            c_.targets.setMarked(s.reported, false);
        }
    }
}

} // namespace dravonel
