// The compression run: turns the target list into archives in the output folder
// through the archiver modules, and every step into lines of the result log.
#pragma once

#include "arc_module.h"
#include "archivers.h"
#include "response_file.h"
#include "run_folder.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>

namespace dravonel {

class OutputList;
class ResultLog;
class RunHost;
class TargetList;
struct LibraryState;
struct OptionSet;

// The run modes, by the index of their button.
enum RunMode { kModeDravo = 0, kModeNormal = 1, kModeExp = 2, kModeFileN = 3 };

// Per-archive verdicts.
enum Verdict : qint16 { kMade = 0, kNotMadeGoOn = 1, kNotMadeStop = -1 };

// The program's own result markers beside the modules' codes.
inline constexpr int kCodeMissing = -1; // library missing, response file unreadable
inline constexpr int kCodeBusy = ARC_ERR_ALREADY_RUNNING;          // the library is in use
inline constexpr int kCodeDestination = ARC_ERR_CANNOT_WRITE_DEST; // the output folder is unusable

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
    // where the module takes calls side by side.
    int archivesInFlight = 0;
};

// What a run did, as the run itself knows it.
struct RunOutcome {
    // False when the run was interrupted ("中断しました") or could not start.
    bool finished = false;
    int archivesMade = 0;
    // Files the modules reported as skipped in archives that were made.
    int skippedFiles = 0;
    // Entries that went into no archive, in list order; with skipped files,
    // the entries of made archives known to be among them (a second file of
    // the same stored name, a file no longer readable).
    QStringList notArchived;
    bool allArchived() const { return finished && skippedFiles == 0 && notArchived.isEmpty(); }
};

class CompressionRun : public QObject {
    Q_OBJECT
public:
    explicit CompressionRun(const RunContext& context, QObject* parent = nullptr);

    // The run of one mode button: restrictions, lock, the mode's loop, removal
    // of the archived entries, closing line, unlock. A restriction that stops
    // the click before anything runs gives an outcome that is not finished
    // and names no entry.
    RunOutcome btnExe_Click(int index, const QString& outputFolder);
    // The run without windows: the mode's loop over the whole list, closing
    // line; entries stay on the list.
    RunOutcome AutoRun(int mode, const QString& outputFolder);
    // Asks the run to stop: the module call in progress is cancelled through
    // its progress hook and no further archive is started.
    void btnCancel_Click() { cancel_ = true; }
    // Clears a cancel request (at start-up).
    void clearCancel() { cancel_ = false; }
    bool CancelRequested() const { return cancel_; }
    bool isRunning() const { return running_; }
    // The folder the last run kept its temporary files in (removed at its end).
    QString lastRunFolder() const { return lastRunFolder_; }

    qint16 CompressGroup(const QString& name, const QString& outputFolder);
    qint16 CompressOneFile(const QString& path, const QString& outputFolder);
    // Logs the meaning of a module result code and returns the verdict.
    qint16 ReportResult(int code);
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
    };

    bool begin();
    RunOutcome end();
    void groupLoop(bool byExtension, const QString& folder);
    void normalRun(const QString& folder, bool clearMarksWhenMade);
    void fileLoop(const QString& folder, bool interactive);
    void fileLoopSideBySide(const QString& folder, bool interactive, int width);
    FilePlan planOneFile(const QString& path, const QString& outputFolder) const;
    qint16 reportOneFile(const FilePlan& plan, int code);
    // Reports the call's progress for archive `archive` (1 up) of
    // `archiveBytes` bytes of files.
    ProgressHandler progressHandler(int archive, const QString& archivePath, quint64 archiveBytes);
    int call(Module module, const QString& commandLine, const QString& archive);
    // Whether the module of a compression is inside a call already.
    bool busy(Module module);
    int compress(Module module, const QString& commandLine, const QString& archive);
    qint16 finish(int code, const QString& archive);
    void log(const QString& line);
    QString tmpFolder() const;
    int countGroups(bool byExtension) const;
    // The bytes of the target entries at `rows` (a file that cannot be read
    // counts 0), each file's size read once a run; and every row of the list.
    quint64 bytesOf(const QList<int>& rows);
    QList<int> allRows() const;
    void noteMade(const QList<int>& rows);

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
    // This run's figures: rows put into made archives, archives, skipped files.
    QSet<int> madeRows_;
    QSet<int> skippedRows_;
    int archivesMade_ = 0;
    int skippedFiles_ = 0;
    int archiveSkipped_ = 0; // skipped files reported for the archive in progress
    // The threads the module calls run on, kept from call to call (each ends
    // after half a minute unused), so that an archive costs no thread start.
    // Last, so that it is the first to go, waiting for what it runs.
    QThreadPool workers_;
};

} // namespace dravonel
