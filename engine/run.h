// The compression run: turns the target list into archives in the output folder
// through the archiver modules, and every step into lines of the result log.
#pragma once

#include "response_file.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

namespace dravonel {

class Archivers;
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
inline constexpr int kCodeMissing = -1;        // library missing, response file unreadable
inline constexpr int kCodeBusy = 32799;        // the library reported it is in use
inline constexpr int kCodeDestination = 32774; // the output folder cannot be written

struct RunContext {
    OptionSet& options;
    const LibraryState& libraries;
    Archivers& archivers;
    TargetList& targets;
    OutputList& outputs;
    ResultLog& log;
    RunHost& host;
};

class CompressionRun : public QObject {
    Q_OBJECT
public:
    explicit CompressionRun(const RunContext& context, QObject* parent = nullptr);

    // The run of one mode button: restrictions, lock, the mode's loop, removal
    // of the archived entries, closing line, unlock.
    void btnExe_Click(int index, const QString& outputFolder);
    // The run without windows: the mode's loop over the whole list, closing
    // line; entries stay on the list. Returns true when it ended with
    // "全て終了しました".
    bool AutoRun(int mode, const QString& outputFolder);
    // Asks the run to stop: the module call in progress is cancelled through
    // its progress hook and no further archive is started.
    void btnCancel_Click() { cancel_ = true; }
    // Clears a cancel request (at start-up).
    void clearCancel() { cancel_ = false; }
    bool CancelRequested() const { return cancel_; }
    bool isRunning() const { return running_; }

    qint16 CompressGroup(const QString& name, const QString& outputFolder);
    qint16 CompressOneFile(const QString& path, const QString& outputFolder);
    // Logs the meaning of a module result code and returns the verdict.
    qint16 ReportResult(int code);
    // Reads the response file back (each line whole) and logs its entries.
    bool CheckRespFile(const QString& path);

    ResponseFileMaker& naming() { return naming_; }

    // One command line: the option part, a blank, then each argument in double
    // quotes, separated by one blank.
    static QString commandLine(const QString& optionPart, const QStringList& arguments);

private:
    enum class Module { Lha, Zip, UnZip };

    void groupLoop(bool byExtension, const QString& folder);
    void normalRun(const QString& folder, bool clearMarksWhenMade);
    void fileLoop(const QString& folder, bool interactive);
    int call(Module module, const QString& commandLine, const QString& archive);
    int compress(Module module, const QString& commandLine, const QString& archive);
    qint16 finish(int code, const QString& archive);
    void log(const QString& line);
    QString tmpFolder() const;
    int countGroups(bool byExtension) const;

    RunContext c_;
    ResponseFileMaker naming_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    int archiveIndex_ = 0;
    int archiveCount_ = 0;
};

} // namespace dravonel
