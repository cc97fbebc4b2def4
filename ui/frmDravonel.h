// The main window: the mode buttons, the common menu set, the six panes in the
// MDI area, the start-up and close sequences, and the run's host.
#pragma once

#include "command_line.h"
#include "command_table.h"
#include "dialog_host.h"
#include "host.h"
#include "job_file.h"
#include "main_commands.h"
#include "message_box.h"
#include "run.h"
#include "run_status.h"
#include "run_strip.h"
#include "session.h"

#include <QCoreApplication>
#include <QMainWindow>

#include <array>
#include <memory>

class QAction;
class QMdiArea;
class QProgressBar;
class QPushButton;

namespace dravonel {

class Pane;
class PaneGrid;
class frmAbout;
class frmDefault;
class frmMenuMente;
class frmOption;
class mdiDir;
class mdiFile;
class mdiInFile;
class mdiOutFile;
class mdiStatus;
struct Program;

class frmDravonel : public QMainWindow, public RunHost, public DialogHost {
    Q_OBJECT
public:
    // The start-up ended the program: its exit status; or the windows go on.
    static constexpr int kGoOn = -1;

    explicit frmDravonel(Program& program, QWidget* parent = nullptr);
    ~frmDravonel() override;

    // The start-up sequence for the whole command line `c`. Returns kGoOn when
    // the window is to be shown, else the exit status (after /U, a refused
    // start, an automatic run).
    int MDIForm_Load(const QString& c);
    // The same for the program's arguments as the system hands them over
    // (absolute paths, or "/U"): each argument is one item, whatever
    // characters its name holds.
    int MDIForm_Load(const QStringList& arguments);

    // Public procedures.
    void SetToolTip(bool blnToolTip);
    void SetFontData();
    void mnuAbout_Click();
    void mnuExit_Click() { close(); }
    void mnuFont_Click();
    void mnuHelp_Click() { openHelpPage(this, *this); }
    void mnuLogCopy_Click();
    void mnuLogSave_Click();
    void mnuname_Click() { AskArchiveName(); }
    void mnuOption_Click();
    void mnuMkdir_Click();
    // The mode-button rule: an empty target list offers no mode and forgets
    // the archive name; under double compression FileN keeps its state.
    void BtnEnabledChange();
    void mnuInDirDefault_Click();
    void mnuOutDirDefault_Click();
    void mnuTmpDirDefault_Click();
    void mnuOpen_Click();
    void mnuSave_Click();
    void mnuSaveAs_Click();
    bool LoadDvf() { return dravonel::LoadDvf(session_.jobName(), session_, *this); }

    void btnExe_Click(int index) { run_->run(RunMode(index), session_.outputFolder()); }
    void btnCancel_Click() { run_->requestCancel(); }
    // The archive-name prompt; `CheckArchiveName` refuses a separator.
    void AskArchiveName();
    bool CheckArchiveName(const QString& name);
    // The command line: the items go to the target list, a job file is opened;
    // `left`, when given, gets the items the list did not take.
    bool CommandLineAdd(const QString& c, QStringList* left = nullptr);
    bool CommandLineAdd(const QStringList& items, QStringList* left = nullptr) {
        return addCommandLine(items, true, session_, *this, left);
    }
    // Lays out the strip and the panes.
    void MDIForm_Resize();

    Program& program() { return program_; }
    // The job the window shows.
    Session& session() { return session_; }
    CompressionRun& run() { return *run_; }
    mdiDir* inDir() const { return mdiInDir; }
    mdiDir* outDir() const { return mdiOutDir; }
    mdiInFile* inFile() const { return mdiInFile_; }
    mdiFile* file() const { return mdiFile_; }
    mdiOutFile* outFile() const { return mdiOutFile_; }
    mdiStatus* status() const { return mdiStatus_; }
    QPushButton* exeButton(int index) const { return pnlDravonel->btnExe[size_t(index)]; }
    QPushButton* cancelButton() const { return pnlDravonel->btnCancel; }
    QProgressBar* progressBar() const { return status_->bar(); }
    QAction* menuAction(const QString& name) const { return commands_->action(name); }
    frmAbout* about() const { return frmAbout_; }
    frmDefault* defaults() const { return frmDefault_; }
    frmOption* option() const { return frmOption_; }
    bool activated() const { return activated_; }

    // RunHost
    void showMessage(const QString& text) override { boxes_.showMessage(text); }
    bool askYesNo(const QString& text) override { return boxes_.askYesNo(text); }
    void lockInterface() override;
    void unlockInterface() override;
    void yield() override { QCoreApplication::processEvents(); }
    QString archiveName() override { return session_.archiveName(); }
    QString askArchiveName() override;
    void scrollTargetToTop(int row) override;
    void progress(const RunProgress& progress) override { status_->show(progress); }
    void runFinished() override;

    // DialogHost
    QString inputFolder() override { return session_.inputFolder(); }
    QString outputFolder() override { return session_.outputFolder(); }
    void setOutputFolder(const QString& folder) override { session_.setOutputFolder(folder); }
    void refreshInputFolder() override;
    void SetToolTipAll(bool tip) override;
    void Pattern_Make() override;
    void emptyTargetList() override { session_.targets().removeAll(); }

    QString inputBox(const QString& prompt, const QString& title,
                     const QString& proposed) override {
        return boxes_.inputBox(prompt, title, proposed);
    }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The window's commands as a table (CommandTable).
    void buildMenus();
    // Adds the command line's items: the arguments when they were handed over
    // one by one, else the items of the text `c`.
    // `left`, when given, receives the files named (also by a job) that did
    // not go on the target list.
    void takeCommandLine(const QString& c, QStringList* left = nullptr);
    void loadPanes();
    void loadDialogs();
    // Runs the command line without windows; false when nothing was to run.
    bool AutoStart(const QString& c, bool& finished);
    void MDIForm_Activate();
    void MDIForm_QueryUnload();
    // The six panes, in their load order: the one list every pane-wide step
    // (load, unload, tool-tips, fonts, layout, locking) goes through.
    const QList<Pane*>& panes() const { return panes_; }
    // Sets every command's enabled state: the mode buttons, cancel and each
    // menu entry by its rule. Run by the mode-button rule and at a run's
    // start and end.
    void updateActions();
    // Mode `mode` is offered: no run holds the window and the mode-button
    // rule left it on.
    bool modeOn(int mode) const;
    // The smallest size at which the menus, the run buttons and every pane's
    // controls are shown without overlapping.
    void updateMinimumSize();

    Program& program_;
    WindowBoxes boxes_{this};
    Session session_;
    RunStrip* pnlDravonel;
    QMdiArea* mdi_;
    RunStatus* status_;
    std::unique_ptr<CommandTable> commands_;
    // A run holds the window (between lockInterface and unlockInterface).
    bool running_ = false;
    // The mode buttons as the mode-button rule left them.
    std::array<bool, 4> modeEnabled_{true, true, true, true};

    QList<Pane*> panes_;
    mdiDir* mdiInDir = nullptr;
    mdiDir* mdiOutDir = nullptr;
    mdiInFile* mdiInFile_ = nullptr;
    mdiFile* mdiFile_ = nullptr;
    mdiOutFile* mdiOutFile_ = nullptr;
    mdiStatus* mdiStatus_ = nullptr;
    PaneGrid* grid_ = nullptr;
    frmAbout* frmAbout_ = nullptr;
    frmDefault* frmDefault_ = nullptr;
    frmOption* frmOption_ = nullptr;
    frmMenuMente* frmMenuMente_ = nullptr;
    std::unique_ptr<CompressionRun> run_;

    bool activated_ = false;
    QStringList arguments_;
    bool haveArguments_ = false;
    bool unloaded_ = false;
    bool closeAfterRun_ = false;
};

} // namespace dravonel
