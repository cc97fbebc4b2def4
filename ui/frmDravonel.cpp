#include "frmDravonel.h"

#include "automatic_run.h"
#include "basMkdir.h"
#include "command_line.h"
#include "command_table.h"
#include "default_folders.h"
#include "drawn_icons.h"
#include "frmAbout.h"
#include "frmDefault.h"
#include "frmMenuMente.h"
#include "frmOption.h"
#include "main_commands.h"
#include "mdiDir.h"
#include "mdiFile.h"
#include "mdiInFile.h"
#include "mdiOutFile.h"
#include "mdiStatus.h"
#include "messages.h"
#include "pane_grid.h"
#include "paths.h"
#include "program.h"
#include "run_folder.h"
#include "run_status.h"
#include "run_strip.h"
#include "settings.h"
#include "settings_store.h"
#include "window_placement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace dravonel {

namespace {

const QString kArchiveNamePrompt = QStringLiteral("圧縮ファイル名を入力してください");
const QString kNoPrivateTemp =
    QStringLiteral("専用の一時フォルダを%1に作れないため実行できません。");

} // namespace

frmDravonel::frmDravonel(Program& program, QWidget* parent)
    : QMainWindow(parent), program_(program), session_(this), pnlDravonel(new RunStrip),
      mdi_(new QMdiArea), status_(new RunStatus(*statusBar())) {
    setObjectName(QStringLiteral("frmDravonel"));
    setWindowIcon(programIcon());
    for (int i = 0; i < 4; ++i)
        connect(exeButton(i), &QPushButton::clicked, this, [this, i] { btnExe_Click(i); });
    connect(cancelButton(), &QPushButton::clicked, this, &frmDravonel::btnCancel_Click);

    auto* central = new QWidget(this);
    pnlDravonel->setParent(central);
    mdi_->setParent(central);
    setCentralWidget(central);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    buildMenus();

    mdiInDir = new mdiDir(session_, program_, *this, mdiDir::Role::In);
    mdiInFile_ = new mdiInFile(session_, program_, *this);
    mdiFile_ = new mdiFile(session_, program_, *this);
    mdiOutDir = new mdiDir(session_, program_, *this, mdiDir::Role::Out);
    mdiStatus_ = new mdiStatus(session_, program_, *this);
    mdiOutFile_ = new mdiOutFile(session_, program_, *this);
    panes_ = {mdiInDir, mdiInFile_, mdiFile_, mdiOutDir, mdiStatus_, mdiOutFile_};
    grid_ = new PaneGrid(*mdi_, panes_, this);

    // Enter walks from the input files to the target list, and on to the
    // output folder.
    connect(mdiInFile_, &Pane::walkOn, this, [this] { mdiFile_->focusControl()->setFocus(); });
    connect(mdiFile_, &Pane::walkOn, this, [this] { mdiOutDir->focusControl()->setFocus(); });
    connect(&session_, &Session::targetsEdited, this, &frmDravonel::BtnEnabledChange);

    frmAbout_ = new frmAbout(program_, this);
    frmDefault_ = new frmDefault(program_, *this, this);
    frmOption_ = new frmOption(program_, *this, this);
    frmMenuMente_ = new frmMenuMente(program_, this);
    mdiInDir->setAliasDialog(frmMenuMente_);
    mdiOutDir->setAliasDialog(frmMenuMente_);

    run_ = std::make_unique<CompressionRun>(
        RunContext{program_.options, program_.libraries, program_.archivers, session_.targets(),
                   session_.outputs(), session_.log(), *this,
                   program_.tempFolder ? program_.tempFolder() : QString()},
        this);
}

frmDravonel::~frmDravonel() = default;

bool frmDravonel::modeOn(int mode) const {
    return !running_ && modeEnabled_[size_t(mode)];
}

void frmDravonel::updateActions() {
    for (int i = 0; i < 4; ++i)
        exeButton(i)->setEnabled(modeOn(i));
    cancelButton()->setEnabled(running_);
    commands_->update();
}

int frmDravonel::MDIForm_Load(const QString& c) {
    // "/U" alone: the question, maybe the removal of the settings, the end.
    if (c.toUpper() == QLatin1String("/U") && (!haveArguments_ || arguments_.size() == 1)) {
        // The question is program entry 0, which is not listed (""), and the
        // common tail after it.
        if (askYesNo(resDravonel(0) + resAll(common_msg::RemoveSettingsTail)))
            program_.store.deleteSection(kStoreApplication, kStoreSection);
        return 0;
    }
    // Settings, modules, and no start without the LHA module.
    const QString privateTemp = program_.tempFolder ? program_.tempFolder() : QString();
    LoadSettings(program_.store, program_.options, privateTemp);
    // Without a temporary folder that only this user can write into, no run
    // could keep its files safe from other users: the program does not start.
    if (privateTemp.isEmpty() && !isPrivateFolder(program_.options.TmpDir)) {
        showMessage(kNoPrivateTemp.arg(QDir::tempPath()));
        return 1;
    }
    if (program_.checkLibraries)
        program_.libraries = program_.checkLibraries();
    if (!program_.libraries.LhaAvailable) {
        showMessage(resDravonel(msg::LhaLibraryMissing));
        return 1;
    }
    // The automatic run, with no window ever shown.
    if (!c.isEmpty() && program_.options.Auto) {
        bool finished = false;
        if (AutoStart(c, finished))
            return finished ? 0 : 1;
    }
    setWindowTitle(resDravonel(msg::ProgramTitle));
    for (int i = 0; i < 4; ++i)
        exeButton(i)->setText(resDravonel(msg::ModeDravo + i));
    cancelButton()->setText(resAll(common_msg::Cancel));
    SetToolTip(program_.options.Tip);
    loadPanes();
    loadDialogs();
    SetFontData();
    grid_->walkTabsThrough(
        {exeButton(0), exeButton(1), exeButton(2), exeButton(3), cancelButton()});
    // The window is never smaller than its content needs; a first start also
    // leaves room for the panes' captions side by side.
    updateMinimumSize();
    restoreMainGeometry(*this, program_.store, grid_->captionsWidth());
    run_->clearCancel();
    updateActions();
    mdiInFile_->Pattern_Make();
    mdiStatus_->RefreshForm();
    if (!c.isEmpty())
        takeCommandLine(c);
    activated_ = false;
    return kGoOn;
}

void frmDravonel::loadPanes() {
    for (Pane* pane : panes_)
        pane->Form_Load();
}

void frmDravonel::loadDialogs() {
    frmAbout_->Form_Load();
    frmDefault_->Form_Load();
    frmOption_->Form_Load();
    frmMenuMente_->Form_Load();
}

bool frmDravonel::AutoStart(const QString& c, bool& finished) {
    // The session alone: its folders from the settings, the command line's
    // files; no pane is loaded.
    session_.loadFolder(Session::Folder::In, program_.store);
    session_.loadFolder(Session::Folder::Out, program_.store);
    QStringList left;
    takeCommandLine(c, &left);
    if (session_.targets().count() == 0)
        return false;
    finished = runAutomatically(session_, *run_, program_.options, *status_, left);
    return true;
}

void frmDravonel::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!activated_)
        MDIForm_Activate();
}

void frmDravonel::MDIForm_Activate() {
    for (Pane* pane : panes()) {
        if (pane->frame())
            pane->frame()->show();
        pane->show();
    }
    activated_ = true;
    for (Pane* pane : panes())
        pane->trackUserPlacement();
    MDIForm_Resize();
    // The frame is known once the window manager has taken the window.
    QTimer::singleShot(0, this, [this] { fitFrameToScreen(*this); });
    BtnEnabledChange();
    mdiInDir->focusControl()->setFocus();
}

void frmDravonel::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    MDIForm_Resize();
}

void frmDravonel::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        MDIForm_Resize();
}

void frmDravonel::MDIForm_Resize() {
    const int width = centralWidget()->width();
    pnlDravonel->layOut(this->width());
    pnlDravonel->setGeometry(0, 0, width, pnlDravonel->height());
    mdi_->setGeometry(0, pnlDravonel->height(), width,
                      centralWidget()->height() - pnlDravonel->height());
    grid_->place();
}

void frmDravonel::updateMinimumSize() {
    // Every menu of the bar and all five run buttons stay in reach, and each
    // row of panes keeps the height its tallest pane needs to show its
    // controls, so that at the window's smallest no control is drawn over
    // another.
    const QSize panes = grid_->minimumSize();
    const int chrome = menuBar()->sizeHint().height() + pnlDravonel->neededHeight() +
                       statusBar()->sizeHint().height() + mdi_->frameWidth() * 2;
    setMinimumSize(
        std::max({menuBar()->sizeHint().width(), pnlDravonel->neededWidth(), panes.width()}),
        chrome + panes.height());
}

void frmDravonel::SetToolTip(bool blnToolTip) {
    const QString texts[5] = {resDravonel(msg::TipModeDravo), resDravonel(msg::TipModeNormal),
                              resDravonel(msg::TipModeExp), resDravonel(msg::TipModeFileN),
                              resAll(common_msg::TipCancel)};
    const char* items[5] = {"mnuExe0", "mnuExe1", "mnuExe2", "mnuExe3", "mnuCancel"};
    for (int i = 0; i < 5; ++i) {
        QPushButton* button = pnlDravonel->button(i);
        // The tool-tip names the button's key (its run-menu item's);
        // screen readers always get the text as the button's description.
        const QString key =
            menuAction(QLatin1String(items[i]))->shortcut().toString(QKeySequence::NativeText);
        button->setToolTip(blnToolTip ? texts[i] + QStringLiteral(" (") + key + QLatin1Char(')')
                                      : QString());
        button->setAccessibleDescription(texts[i]);
    }
}

void frmDravonel::SetFontData() {
    const QFont font = settingsFont(program_);
    for (int i = 0; i < 5; ++i)
        pnlDravonel->button(i)->setFont(font);
    // The buttons grow with the font: the window keeps room for all five.
    updateMinimumSize();
    MDIForm_Resize();
}

void frmDravonel::BtnEnabledChange() {
    // An empty list forgets the archive name and offers no mode; under double
    // compression FileN keeps its state.
    const bool empty = session_.targets().count() == 0;
    if (empty)
        session_.setArchiveName(QString());
    const bool keepFileN = program_.options.Ashuku == kMethodDouble;
    for (int i = 0; i < 4; ++i) {
        if (empty || i != kModeFileN || !keepFileN)
            modeEnabled_[size_t(i)] = !empty;
    }
    updateActions();
}

bool frmDravonel::CheckArchiveName(const QString& name) {
    if (name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('/'))) {
        showMessage(resDravonel(msg::NoYenInFileName));
        return false;
    }
    return true;
}

void frmDravonel::AskArchiveName() {
    const QString answer =
        inputBox(kArchiveNamePrompt, QStringLiteral("Dravonel2"), session_.archiveName());
    if (!answer.isEmpty() && CheckArchiveName(answer))
        session_.setArchiveName(answer);
}

int frmDravonel::MDIForm_Load(const QStringList& arguments) {
    arguments_ = arguments;
    haveArguments_ = true;
    const int status = MDIForm_Load(arguments.join(QLatin1Char(' ')));
    haveArguments_ = false;
    return status;
}

void frmDravonel::takeCommandLine(const QString& c, QStringList* left) {
    if (haveArguments_)
        CommandLineAdd(arguments_, left);
    else
        CommandLineAdd(c, left);
}

bool frmDravonel::CommandLineAdd(const QString& c, QStringList* left) {
    bool complete = true;
    const QStringList items = splitCommandLine(c, complete);
    return addCommandLine(items, complete, session_, *this, left);
}

void frmDravonel::closeEvent(QCloseEvent* event) {
    if (run_->isRunning()) {
        // A run in progress is cancelled first; the window closes after it.
        run_->requestCancel();
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    MDIForm_QueryUnload();
    event->accept();
}

void frmDravonel::MDIForm_QueryUnload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    // The output-folder pane is unloaded last, after the dialogs.
    for (Pane* pane : panes_)
        if (pane != mdiOutDir)
            pane->Form_QueryUnload();
    frmAbout_->Form_QueryUnload();
    frmDefault_->Form_QueryUnload();
    frmOption_->Form_QueryUnload();
    frmMenuMente_->Form_QueryUnload();
    mdiOutDir->Form_QueryUnload();

    saveMainGeometry(*this, program_.store);
    SaveSettings(program_.store, program_.options);
}

void frmDravonel::mnuFont_Click() {
    if (!chooseFont(this, settingsFont(program_), program_.options, kLargestFontSize))
        return;
    // The panes first: the window's smallest size follows their controls.
    for (Pane* pane : panes_)
        pane->SetFontData();
    SetFontData();
    frmAbout_->SetFontData();
    frmDefault_->SetFontData();
    frmOption_->SetFontData();
}

void frmDravonel::mnuLogCopy_Click() {
    mdiStatus_->LogCopy();
}

void frmDravonel::mnuLogSave_Click() {
    mdiStatus_->LogSave();
}

void frmDravonel::mnuOption_Click() {
    frmOption_->exec();
    // Panes that now follow the main window take their cells at once.
    MDIForm_Resize();
    BtnEnabledChange();
}

void frmDravonel::mnuMkdir_Click() {
    dravonel::mnuMkdir_Click(*this, *this);
}

void frmDravonel::mnuAbout_Click() {
    frmAbout_->exec();
}

void frmDravonel::mnuInDirDefault_Click() {
    Session::FolderDefault& d = session_.folderDefault(Session::Folder::In);
    dravonel::mnuInDirDefault_Click(*frmDefault_, d.folder, d.inForce);
}

void frmDravonel::mnuOutDirDefault_Click() {
    Session::FolderDefault& d = session_.folderDefault(Session::Folder::Out);
    dravonel::mnuOutDirDefault_Click(*frmDefault_, d.folder, d.inForce);
}

void frmDravonel::mnuTmpDirDefault_Click() {
    dravonel::mnuTmpDirDefault_Click(*frmDefault_, program_.options.TmpDir);
}

void frmDravonel::mnuOpen_Click() {
    if (openJob(this, session_, *this))
        BtnEnabledChange();
}

void frmDravonel::mnuSave_Click() {
    saveJob(this, session_, *this, false);
}

void frmDravonel::mnuSaveAs_Click() {
    saveJob(this, session_, *this, true);
}

// RunHost

void frmDravonel::lockInterface() {
    // The mode buttons are off, and stay off until the mode-button rule runs
    // again at the end.
    running_ = true;
    modeEnabled_.fill(false);
    for (Pane* pane : panes_)
        pane->setEnabled(false);
    mdiInFile_->SelectClear();
    updateActions();
}

void frmDravonel::unlockInterface() {
    running_ = false;
    updateActions();
    for (Pane* pane : panes_)
        pane->setEnabled(true);
    mdiInDir->RefreshForm();
    mdiInFile_->RefreshForm();
    mdiOutDir->RefreshForm();
    BtnEnabledChange();
}

QString frmDravonel::askArchiveName() {
    AskArchiveName();
    return session_.archiveName();
}

void frmDravonel::scrollTargetToTop(int row) {
    mdiFile_->scrollToTop(row);
}

void frmDravonel::runFinished() {
    if (closeAfterRun_)
        QTimer::singleShot(0, this, &QWidget::close);
    status_->clear();
}

// DialogHost

void frmDravonel::refreshInputFolder() {
    mdiInDir->RefreshForm();
}

void frmDravonel::SetToolTipAll(bool tip) {
    frmDefault_->SetToolTip(tip);
    frmMenuMente_->SetToolTip(tip);
    frmOption_->SetToolTip(tip);
    SetToolTip(tip);
    for (Pane* pane : panes_)
        pane->SetToolTip(tip);
}

void frmDravonel::Pattern_Make() {
    mdiInFile_->Pattern_Make();
}

} // namespace dravonel
