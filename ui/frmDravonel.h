// The main window: the mode buttons, the common menu set, the six panes in the
// MDI area, the start-up and close sequences, and the run's host.
#pragma once

#include "dialog_host.h"
#include "host.h"
#include "job_file.h"
#include "message_box.h"
#include "progress_line.h"
#include "run.h"
#include "session.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QPushButton;

namespace dravonel {

class Pane;
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
    // The largest display font the font dialog's choice is taken at (points).
    static constexpr long kLargestFontSize = 16;

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
    void mnuExit_Click();
    void mnuFont_Click();
    void mnuHelp_Click();
    void mnuLogCopy_Click();
    void mnuLogSave_Click();
    void mnuname_Click();
    void mnuOption_Click();
    void mnuMkdir_Click();
    void BtnEnabledChange();
    void mnuInDirDefault_Click();
    void mnuOutDirDefault_Click();
    void mnuTmpDirDefault_Click();
    void mnuOpen_Click();
    void mnuSave_Click();
    void mnuSaveAs_Click();
    bool LoadDvf();

    void btnExe_Click(int index);
    void btnCancel_Click();
    // The archive-name prompt; `CheckArchiveName` refuses a separator.
    void AskArchiveName();
    bool CheckArchiveName(const QString& name);
    // The command line: the items go to the target list, a job file is opened.
    bool CommandLineAdd(const QString& c);
    bool CommandLineAdd(const QStringList& items);
    int CommandLineItemAdd(const QString& item);
    // Lays out the panes and the cancel button.
    void MDIForm_Resize();

    // The pane sizes for a client area of `scaleWidth` x `scaleHeight` twips:
    // half the width and a third of the height, halves rounded to even.
    static QSize paneSize(double scaleWidth, double scaleHeight);
    // How far a run has come, 0 to 1: its bytes where known (the finished
    // archives' files and the share done of the archive in progress), else its
    // archives.
    static double runFraction(const RunProgress& progress);
    // A window rectangle moved and, where it is larger, shrunk so that it lies
    // wholly inside `area` (the screen's available area).
    static QRect fitToArea(const QRect& window, const QRect& area);

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
    QPushButton* exeButton(int index) const { return btnExe[size_t(index)]; }
    QPushButton* cancelButton() const { return btnCancel; }
    QProgressBar* progressBar() const { return progress_; }
    QAction* menuAction(const QString& name) const;
    frmAbout* about() const { return frmAbout_; }
    frmDefault* defaults() const { return frmDefault_; }
    frmOption* option() const { return frmOption_; }
    bool activated() const { return activated_; }

    // RunHost
    void showMessage(const QString& text) override;
    bool askYesNo(const QString& text) override;
    void lockInterface() override;
    void unlockInterface() override;
    void yield() override;
    QString archiveName() override;
    QString askArchiveName() override;
    void scrollTargetToTop(int row) override;
    void progress(const RunProgress& progress) override;
    void runFinished() override;

    // DialogHost
    QString inputFolder() override;
    QString outputFolder() override;
    void setOutputFolder(const QString& folder) override;
    void refreshInputFolder() override;
    void SetToolTipAll(bool tip) override;
    void Pattern_Make() override;
    void emptyTargetList() override;

    QString inputBox(const QString& prompt, const QString& title, const QString& proposed) override;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Adds the command line's items: the arguments when they were handed over
    // one by one, else the items of the text `c`.
    void addCommandLine(const QString& c);
    void buildMenus();
    void loadPanes();
    void loadDialogs();
    void loadGeometry();
    // Runs the command line without windows; false when nothing was to run.
    bool AutoStart(const QString& c, bool& finished);
    void MDIForm_Activate();
    void MDIForm_QueryUnload();
    // The six panes, in their load order: the one list every pane-wide step
    // (load, unload, tool-tips, fonts, layout, locking) goes through.
    const QList<Pane*>& panes() const { return panes_; }
    // The layout cell of each pane in the load order, in pixels of the MDI
    // area: half its width and a third of its height.
    QList<QRect> paneCells() const;
    // The controls Tab walks through: the mode buttons, cancel, then each pane's
    // controls in the panes' load order (left column, then right column).
    QList<QWidget*> tabOrder() const;
    // Moves the keyboard focus to the next (or previous) control that can take
    // it, activating its pane.
    void focusNext(QWidget* from, bool forward);
    // The window width at which the panes' captions fit side by side.
    int captionsWidth() const;
    // Keeps the window with its frame inside the available screen area.
    void fitFrameToScreen();
    QString jobDialog(bool save, const QString& initial);

    Program& program_;
    WindowBoxes boxes_{this};
    Session session_;
    QWidget* pnlDravonel;
    std::array<QPushButton*, 4> btnExe{};
    QPushButton* btnCancel;
    QMdiArea* mdi_;
    QProgressBar* progress_;
    QLabel* progressLabel_;
    // The automatic run's progress line on standard error, while it runs.
    ProgressLine* terminalProgress_ = nullptr;
    // The button of run-menu item `i`: the four modes, then ｷｬﾝｾﾙ.
    QPushButton* runButton(int i) const { return i < 4 ? btnExe[size_t(i)] : btnCancel; }
    // One command of the menu table (buildMenus).
    struct MenuEntry {
        QString menu, name, text;
        QKeySequence key;
        std::function<void()> handler;
        std::function<bool()> enabled;
    };
    // Sets every command's enabled state: the mode buttons, cancel and each
    // menu entry by its rule. Run by the mode-button rule and at a run's
    // start and end.
    void updateActions();
    // Mode `mode` is offered: no run holds the window and the mode-button
    // rule left it on.
    bool modeOn(int mode) const;
    // Cuts back the panes that reach into the row of minimised panes.
    void keepPanesClearOfIcons();
    // The smallest size at which the menus, the run buttons and every pane's
    // controls are shown without overlapping.
    void updateMinimumSize();
    // The size of each of the five run buttons, and the width of their strip.
    QSize runButtonSize() const;
    int stripHeight() const;
    int runStripWidth() const;
    QMap<QString, QAction*> actions_;
    QList<QPair<QAction*, std::function<bool()>>> rules_;
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
    QRect normalGeometry_;
    int frameLooks_ = 0;
};

} // namespace dravonel
