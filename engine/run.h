// The compression run: turns the target list into archives in the output folder
// through the archiver modules, and every step into lines of the result log.
#pragma once

#include "arc_module.h"
#include "archive_lock.h"
#include "archive_proof.h"
#include "archivers.h"
#include "response_file.h"
#include "run_folder.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>

namespace dravonel {

class OutputList;
class ResultLog;
class RunHost;
class TargetList;
struct FormatTable;
struct LibraryState;
struct OptionSet;

// The run modes, by the index of their button.
enum RunMode : int { kModeDravo = 0, kModeNormal = 1, kModeExp = 2, kModeFileN = 3 };

// Per-archive verdicts.
enum Verdict : qint16 { kMade = 0, kNotMadeGoOn = 1, kNotMadeStop = -1 };

// The program's own result markers beside the modules' codes.
inline constexpr int kCodeMissing = -1; // library missing, response file unreadable
inline constexpr int kCodeBusy = ARC_ERR_ALREADY_RUNNING;          // the library is in use
inline constexpr int kCodeDestination = ARC_ERR_CANNOT_WRITE_DEST; // the output folder is unusable

// What the ZIP modules cannot do from the mode buttons: a ZIP inner archive
// in a double compression, and ZIP archives in any mode but FileN.
enum class Restriction { None, ZipInnerArchive, ZipOutsideFileN };
Restriction checkRestrictions(const OptionSet& options, RunMode mode);
// The message box of a restriction, as the buttons show it.
QString restrictionMessage(Restriction restriction);

struct RunContext {
    OptionSet& options;
    const LibraryState& libraries;
    Archivers& archivers;
    TargetList& targets;
    OutputList& outputs;
    ResultLog& log;
    RunHost& host;
    // The program's private temporary folder: the run works there when the
    // temporary folder setting names a folder other users could touch.
    QString privateTemp = {};
    // How many archives one file each may be made at once (0: one per core),
    // where the module takes calls side by side; also the most threads the
    // run's module calls use together.
    int archivesInFlight = 0;
    // Whether each archive made is also decoded, and every member of the
    // run's files compared byte for byte with its file, before the files
    // count as archived.
    bool verify = false;
};

// An entry that is in no archive, and why: what the proof found, why its
// archive was not made, or why the run never took it.
struct NotArchived {
    QString path;
    QString reason;
    // The line that names it for a terminal: "not archived: PATH (REASON)".
    QString text() const {
        return QStringLiteral("not archived: ") + path +
               (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
    }
};

// What a run did, as the run itself knows it.
struct RunOutcome {
    // False when the run was interrupted ("中断しました") or could not start.
    bool finished = false;
    int archivesMade = 0;
    // Every entry that is not proven to be in an archive made by this run,
    // in list order: a file counts as archived only when the archive, as
    // committed on disk, holds a member of its name with its size and CRC.
    QList<NotArchived> notArchived;
    bool allArchived() const { return finished && notArchived.isEmpty(); }
};

class CompressionRun : public QObject {
    Q_OBJECT
public:
    explicit CompressionRun(const RunContext& context, QObject* parent = nullptr);

    // The run of one mode button: restrictions, lock, the mode's loop, removal
    // of the archived entries, closing line, unlock. A restriction that stops
    // the click before anything runs gives an outcome that is not finished
    // and names no entry.
    RunOutcome run(RunMode mode, const QString& outputFolder);
    // The run without windows (the automatic run): the mode's loop over the
    // whole list, closing line; entries stay on the list. A mode value
    // outside the four runs nothing.
    RunOutcome runWithoutWindows(RunMode mode, const QString& outputFolder);
    // Asks the run to stop: the module call in progress is cancelled through
    // its progress hook and no further archive is started.
    void requestCancel() { cancel_ = true; }
    // Clears a cancel request (at start-up).
    void clearCancel() { cancel_ = false; }
    bool cancelRequested() const { return cancel_; }
    bool isRunning() const { return running_; }
    // The folder the last run kept its temporary files in (removed at its end).
    QString lastRunFolder() const { return lastRunFolder_; }

    Verdict CompressGroup(const QString& name, const QString& outputFolder);
    // One file's archive: lock, call, proof, report; the proof is noted for
    // the list's `row` (none: -1).
    Verdict CompressOneFile(const QString& path, const QString& outputFolder, int row = -1);
    // Logs the meaning of a module result code and returns the verdict.
    Verdict ReportResult(int code);
    // Reads the response file back (each line whole) and logs its entries.
    bool CheckRespFile(const QString& path);

    // One command line: the option part, a blank, then each argument in double
    // quotes (a quote inside doubled), separated by one blank; then the bare
    // `names`, after "--" when one of them begins with "-" or "@".
    static QString commandLine(const QString& optionPart, const QStringList& arguments,
                               const QStringList& names = {});

private:
    using Module = ArchiverModule;
    // What making the archive of one file takes: the log lines up to the
    // module call, the call, and the archive; `code` is the result when no
    // call is to be made.
    struct FilePlan {
        QStringList lines;
        bool needsCall = false;
        Module module = Module::Lha;
        QString commandLine;
        QString archive;
        int code = kCodeMissing;
        // Why the file goes into no archive before any call (a name taken by
        // an earlier file of the run, a name too long).
        ProofFailure refused = ProofFailure::None;
    };
    // An archive's files and what proving the committed archive found, one
    // entry a file.
    struct Proof {
        QStringList files;
        QList<ProofFailure> failures;
    };

    bool begin();
    RunOutcome end();
    void groupLoop(bool byExtension, const QString& folder);
    void normalRun(const QString& folder, bool clearMarksWhenMade);
    // The most threads the run uses at once: the archives made side by side
    // and the pieces inside each (RunContext::archivesInFlight, one per core
    // when 0).
    int threadBudget() const;
    void fileLoop(const QString& folder, bool interactive);
    void fileLoopSideBySide(const QString& folder, bool interactive, int width);
    struct SideBySide;
    // Plans the next file of a side-by-side loop and starts its call on a
    // worker (a file that needs no call is done at once); a cancel stops the
    // loop instead.
    void startFile(SideBySide& s, const QString& folder, bool interactive);
    // Reports, in list order, every file whose archive and all before it are done.
    void reportFinishedFiles(SideBySide& s, bool interactive);
    // What making a file's archive takes; a second file of the run whose
    // archive is already taken is refused.
    FilePlan planOneFile(const QString& path, const QString& outputFolder);
    Verdict reportOneFile(const FilePlan& plan, int code, const Proof& proof);
    // Makes one file's archive on the calling thread, a worker of FileN side
    // by side: takes the archive's lock, calls the module, proves the result.
    int makeOneFile(const FilePlan& plan, const ProgressHandler& handler, Proof& proof);
    // Lists the committed `archive` and proves which of `proof.files` it holds
    // (all failing when it cannot be listed). With `inner`, the archive must
    // hold that inner archive, as it is in the temporary folder, and the inner
    // one the files.
    void prove(const QString& archive, ArchiveKind kind, Proof& proof,
               const QString& inner = QString(), ArchiveKind innerKind = ArchiveKind::Lzh);
    // Runs `work` on a worker while this thread keeps the event loop going.
    void onWorker(const std::function<void()>& work);
    // Takes the lock of `archive`, waiting (with the event loop going) while
    // another run holds it; false when the run was cancelled meanwhile or the
    // lock cannot be had.
    bool lockArchive(ArchiveLock& lock, const QString& archive);
    QString lockFolder() const;
    // Reports the call's progress for archive `archive` (1 up) of
    // `archiveBytes` bytes of files.
    ProgressHandler progressHandler(int archive, const QString& archivePath, quint64 archiveBytes);
    int call(Module module, const QString& commandLine, const QString& archive);
    // Whether a module is inside a call already.
    bool busy(Module module);
    int compress(Module module, const QString& commandLine, const QString& archive);
    // Makes an archive of `format` through its module after logging `line`:
    // a missing module shows its message (where it has one), a busy one its
    // box; returns the module's result.
    int pack(const FormatTable& format, int line, const QString& options,
             const QStringList& arguments, const QString& archive);
    // Double compression of the group into `final`: the inner archive
    // `innerName` made in the temporary folder, then put into the final one.
    Verdict packDouble(const FormatTable& inner, const FormatTable& outer, const QString& final,
                       const QString& innerName, Proof& proof);
    // For an update of a double archive: extracts its old inner archive
    // `innerName` into the temporary folder. False when the final archive must
    // be left as it is (it cannot be listed, or holds an inner archive that
    // could not be extracted).
    bool stageOldInner(const FormatTable& outer, const QString& final, const QString& innerName);
    // Logs an archive's result; with a made archive, the proof's failures
    // first. Made means the module made it and it holds at least one file.
    // An archive not made leaves why (`reason`, else the meaning of `code`)
    // for the files that have no reason of their own.
    Verdict finish(int code, const QString& archive, const Proof& proof = {},
                   const QString& reason = QString());
    void log(const QString& line);
    QString tmpFolder() const;
    int countGroups(bool byExtension) const;
    // The bytes of the target entries at `rows` (a file that cannot be read
    // counts 0), each file's size read once a run; and every row of the list.
    quint64 bytesOf(const QList<int>& rows);
    QList<int> allRows() const;
    // Records the rows the proof holds as archived (when the archive was
    // made) and the others with their reasons (the proof's, else why the
    // archive finished last was not made).
    void noteProof(const QList<int>& rows, const Proof& proof, bool made);

    RunContext c_;
    ResponseFileMaker naming_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    int archiveIndex_ = 0;
    int archiveCount_ = 0;
    quint64 runBytes_ = 0;         // bytes of every file the run takes
    quint64 bytesFinished_ = 0;    // bytes of the files whose archives are finished
    quint64 archiveBytes_ = 0;     // bytes of the files of the archive being made
    std::vector<qint64> rowBytes_; // each row's file size once read, else -1
    RunFolder folder_;
    QString lastRunFolder_;
    // This run's figures: rows proven to be in made archives, rows known not
    // to be with the reason, archives.
    QSet<int> madeRows_;
    QHash<int, QString> failedRows_;
    QString notMadeReason_; // why the archive finished last was not made
    int archivesMade_ = 0;
    // The files of the group being archived (Dravo, Exp, normal), and what
    // proving its archive found.
    QList<int> groupRows_;
    Proof lastProof_;
    // The archives FileN made or is making in this run.
    QSet<QString> archivesOfRun_;
    // The threads the module calls run on, kept from call to call (each ends
    // after half a minute unused), so that an archive costs no thread start.
    // Last, so that it is the first to go, waiting for what it runs.
    QThreadPool workers_;
};

} // namespace dravonel
