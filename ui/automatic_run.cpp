#include "automatic_run.h"

#include "mdiStatus.h"
#include "options.h"
#include "paths.h"
#include "progress_line.h"
#include "run.h"
#include "run_status.h"
#include "session.h"
#include "target_list.h"
#include "terminal_text.h"

#include <cstdio>

namespace dravonel {

namespace {

const QString kUnusableOutputFolder = QStringLiteral(
    "dravonel2: 圧縮ファイル格納フォルダ（%1）が無いか書き込みできないため実行できません。");

} // namespace

bool runAutomatically(Session& session, CompressionRun& run, const OptionSet& options,
                      RunStatus& status, const QStringList& left) {
    // The window would show the current folder in place of an output folder
    // that cannot be opened; a run without a window writes nowhere but where
    // it was told to, and says why it did not run.
    const QString outFolder = session.outputFolder();
    const bool opened = session.openedGivenFolder(Session::Folder::Out);
    if (!opened || outFolder.isEmpty() || !CanCreateFilesIn(outFolder)) {
        printTerminalLine(stderr,
                          kUnusableOutputFolder.arg(
                              opened ? outFolder : session.givenFolder(Session::Folder::Out)));
        return false;
    }
    // A script that started the automatic run reads what happened here; a
    // terminal also sees the progress line.
    ProgressLine terminalProgress(stderr);
    status.setTerminal(&terminalProgress);
    const QMetaObject::Connection echo = QObject::connect(&session.log(), &ResultLog::lineAdded,
                                                          [&terminalProgress](const QString& line) {
                                                              terminalProgress.clear();
                                                              printTerminalLine(stdout, line);
                                                          });
    const RunOutcome outcome = run.runWithoutWindows(RunMode(options.AutoExe), outFolder);
    QObject::disconnect(echo);
    terminalProgress.clear();
    status.setTerminal(nullptr);
    // Every file that is in no archive is named, as --batch names them: those
    // the list did not take (a job's vanished entry too) and those the run left.
    for (const QString& path : left)
        printTerminalLine(stderr,
                          QStringLiteral("dravonel2: ") +
                              NotArchived{path, notTakenReason(session.targets(), path)}.text());
    for (const NotArchived& notArchived : outcome.notArchived)
        printTerminalLine(stderr, QStringLiteral("dravonel2: ") + notArchived.text());
    if (options.AutoLog)
        copyLog(session.log());
    return outcome.allArchived() && left.isEmpty();
}

} // namespace dravonel
