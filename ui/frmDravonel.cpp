#include "frmDravonel.h"

#include "basMkdir.h"
#include "default_folders.h"
#include "dialog_support.h"
#include "drawn_icons.h"
#include "frmAbout.h"
#include "frmDefault.h"
#include "frmMenuMente.h"
#include "frmOption.h"
#include "mdiDir.h"
#include "mdiFile.h"
#include "mdiInFile.h"
#include "mdiOutFile.h"
#include "mdiStatus.h"
#include "message_box.h"
#include "messages.h"
#include "paths.h"
#include "program.h"
#include "run_folder.h"
#include "settings.h"
#include "settings_store.h"
#include "terminal_text.h"
#include "twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace dravonel {

namespace {

const QString kArchiveNamePrompt = QStringLiteral("圧縮ファイル名を入力してください");
const QString kHelpWhere = QStringLiteral(
    "ヘルプを表示するプログラムが見つかりません。ヘルプのページは次の場所にあります。\n%1");
const QString kHelpMissing = QStringLiteral("ヘルプのページが見つかりません。\n%1");
const QString kNoPrivateTemp =
    QStringLiteral("専用の一時フォルダを%1に作れないため実行できません。");
const QString kUnusableOutputFolder = QStringLiteral(
    "dravonel2: 圧縮ファイル格納フォルダ（%1）が無いか書き込みできないため実行できません。");

// The pane frames carry a title but no close button: a pane is part of the window.
constexpr Qt::WindowFlags kPaneFlags =
    Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint;

qint16 roundHalfEven16(double value) {
    const double r = std::nearbyint(value); // the default rounding mode: halves to even
    return qint16(std::clamp(r, -32768.0, 32767.0));
}

QString helpPagePath() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString installed = exeDir + QStringLiteral("/../share/doc/dravonel2/help.html");
    if (QFileInfo::exists(installed))
        return QFileInfo(installed).canonicalFilePath();
    return exeDir + QStringLiteral("/help.html");
}

} // namespace

frmDravonel::frmDravonel(Program& program, QWidget* parent)
    : QMainWindow(parent), program_(program), session_(this), pnlDravonel(new QWidget(this)),
      btnCancel(new QPushButton(pnlDravonel)), mdi_(new QMdiArea(this)),
      progress_(new QProgressBar(this)), progressLabel_(new QLabel(this)) {
    setObjectName(QStringLiteral("frmDravonel"));
    setWindowIcon(programIcon());
    for (int i = 0; i < 4; ++i) {
        btnExe[size_t(i)] = new QPushButton(pnlDravonel);
        btnExe[size_t(i)]->setObjectName(QStringLiteral("btnExe%1").arg(i));
        connect(btnExe[size_t(i)], &QPushButton::clicked, this, [this, i] { btnExe_Click(i); });
    }
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnCancel, &QPushButton::clicked, this, &frmDravonel::btnCancel_Click);

    auto* central = new QWidget(this);
    pnlDravonel->setFixedHeight(toPixels(615));
    pnlDravonel->setParent(central);
    mdi_->setParent(central);
    setCentralWidget(central);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setTextVisible(true);
    progress_->setFormat(QString());
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    statusBar()->addWidget(progressLabel_, 1);
    statusBar()->addPermanentWidget(progress_);
    progress_->setMinimumWidth(toPixels(3000));

    buildMenus();

    mdiInDir = new mdiDir(session_, program_, *this, mdiDir::Role::In);
    mdiInFile_ = new mdiInFile(session_, program_, *this);
    mdiFile_ = new mdiFile(session_, program_, *this);
    mdiOutDir = new mdiDir(session_, program_, *this, mdiDir::Role::Out);
    mdiStatus_ = new mdiStatus(session_, program_, *this);
    mdiOutFile_ = new mdiOutFile(session_, program_, *this);
    panes_ = {mdiInDir, mdiInFile_, mdiFile_, mdiOutDir, mdiStatus_, mdiOutFile_};
    for (Pane* pane : panes_) {
        QMdiSubWindow* frame = mdi_->addSubWindow(pane, kPaneFlags);
        frame->setAttribute(Qt::WA_DeleteOnClose, false);
        frame->hide();
        // Once the area has put a minimised pane in its row, the panes end
        // above that row.
        connect(frame, &QMdiSubWindow::windowStateChanged, this,
                [this] { QTimer::singleShot(0, this, &frmDravonel::keepPanesClearOfIcons); });
    }

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

void frmDravonel::buildMenus() {
    const auto idle = [this] { return !running_; };
    const auto call = [this](void (frmDravonel::*handler)()) {
        return [this, handler] { (this->*handler)(); };
    };
    // Every command of the window: its menu ("" for the bar), name, caption,
    // key, handler (none for a menu) and the rule that enables it. The
    // commands of the common set are off while a run holds the window; the run
    // menu's items go with their buttons. An entry without a name is a
    // separator.
    const QKeySequence none;
    const QList<MenuEntry> table = {
        {"", "mnuExit", "E(&x)it", none, call(&frmDravonel::mnuExit_Click), idle},
        {"", "mnuFont", "Fon(&t)", none, call(&frmDravonel::mnuFont_Click), idle},
        {"", "mnuLog", "(&L)og", none, nullptr, idle},
        {"mnuLog", "mnuLogCopy", "Log(&C)opy", none, call(&frmDravonel::mnuLogCopy_Click), idle},
        {"mnuLog", "mnuLogSave", "Log(&S)ave", none, call(&frmDravonel::mnuLogSave_Click), idle},
        {"", "mnuFile", "(&F)ile", none, nullptr, idle},
        {"mnuFile", "mnuOpen", "(&O)pen", QKeySequence(Qt::CTRL | Qt::Key_O),
         call(&frmDravonel::mnuOpen_Click), idle},
        {"mnuFile", "mnuSave", "(&S)ave", QKeySequence(Qt::CTRL | Qt::Key_S),
         call(&frmDravonel::mnuSave_Click), idle},
        {"mnuFile", "mnuSaveAs", "Save(&A)s", QKeySequence(Qt::CTRL | Qt::Key_A),
         call(&frmDravonel::mnuSaveAs_Click), idle},
        {"", "mnuDefault", "(&D)efault", none, nullptr, idle},
        {"mnuDefault", "mnuInDirDefault", "InDirDefault", none,
         call(&frmDravonel::mnuInDirDefault_Click), idle},
        {"mnuDefault", "mnuOutDirDefault", "OutDirDefault", none,
         call(&frmDravonel::mnuOutDirDefault_Click), idle},
        {"mnuDefault", "mnuTmpDirDefault", "TmpDirDefault", none,
         call(&frmDravonel::mnuTmpDirDefault_Click), idle},
        {"", "mnuName", "File(&N)ame", none, call(&frmDravonel::mnuname_Click), idle},
        {"", "mnuOption", "(&O)ption", none, call(&frmDravonel::mnuOption_Click), idle},
        {"", "mnuMkdir", "M(&k)dir", none, call(&frmDravonel::mnuMkdir_Click), idle},
        {"", "mnuHelp", "(&H)elp", none, call(&frmDravonel::mnuHelp_Click), idle},
        {"", "mnuAbout", "(&A)bout", none, call(&frmDravonel::mnuAbout_Click), idle},
        // The run menu: the mode buttons and cancel from the keyboard. Ctrl+1
        // to Ctrl+4 and Esc clash with no other key of the window.
        {"", "mnuRun", "(&R)un", none, nullptr, [] { return true; }},
        {"mnuRun", "mnuExe0", resDravonel(1), QKeySequence(Qt::CTRL | Qt::Key_1),
         [this] { btnExe[0]->click(); }, [this] { return modeOn(0); }},
        {"mnuRun", "mnuExe1", resDravonel(2), QKeySequence(Qt::CTRL | Qt::Key_2),
         [this] { btnExe[1]->click(); }, [this] { return modeOn(1); }},
        {"mnuRun", "mnuExe2", resDravonel(3), QKeySequence(Qt::CTRL | Qt::Key_3),
         [this] { btnExe[2]->click(); }, [this] { return modeOn(2); }},
        {"mnuRun", "mnuExe3", resDravonel(4), QKeySequence(Qt::CTRL | Qt::Key_4),
         [this] { btnExe[3]->click(); }, [this] { return modeOn(3); }},
        {"mnuRun", "", "", none, nullptr, nullptr},
        {"mnuRun", "mnuCancel", resAll(5), QKeySequence(Qt::Key_Escape),
         [this] { btnCancel->click(); }, [this] { return running_; }},
    };
    QMenuBar* bar = menuBar();
    QMap<QString, QMenu*> menus;
    for (const MenuEntry& entry : table) {
        QMenu* menu = menus.value(entry.menu);
        if (entry.name.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (!entry.handler) {
            QMenu* sub = bar->addMenu(entry.text);
            menus.insert(entry.name, sub);
            action = sub->menuAction();
        } else {
            action = new QAction(entry.text, menu ? static_cast<QObject*>(menu) : bar);
            connect(action, &QAction::triggered, this, entry.handler);
            if (menu)
                menu->addAction(action);
            else
                bar->addAction(action);
        }
        action->setObjectName(entry.name);
        if (!entry.key.isEmpty()) {
            action->setShortcut(entry.key);
            action->setShortcutContext(Qt::WindowShortcut);
            // The key works whichever pane is active: the action belongs to the window.
            addAction(action);
        }
        actions_.insert(entry.name, action);
        rules_.append({action, entry.enabled});
    }
}

QAction* frmDravonel::menuAction(const QString& name) const {
    return actions_.value(name);
}

bool frmDravonel::modeOn(int mode) const {
    return !running_ && modeEnabled_[size_t(mode)];
}

void frmDravonel::updateActions() {
    for (int i = 0; i < 4; ++i)
        btnExe[size_t(i)]->setEnabled(modeOn(i));
    btnCancel->setEnabled(running_);
    for (const auto& [action, enabled] : std::as_const(rules_))
        action->setEnabled(enabled());
}

bool frmDravonel::eventFilter(QObject* watched, QEvent* event) {
    // Tab and Shift+Tab walk through every control and on from pane to pane
    // (a pane's frame would otherwise keep the focus among its own controls).
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            const bool back =
                key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            focusNext(static_cast<QWidget*>(watched), !back);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QList<QWidget*> frmDravonel::tabOrder() const {
    QList<QWidget*> order;
    for (QPushButton* b : btnExe)
        order << b;
    order << btnCancel;
    for (Pane* pane : panes()) {
        // The pane's own focus chain, without the parts of compound controls.
        for (QWidget* w = pane->nextInFocusChain(); w && w != pane; w = w->nextInFocusChain()) {
            if (!pane->isAncestorOf(w))
                break;
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
                order << w;
        }
    }
    return order;
}

void frmDravonel::focusNext(QWidget* from, bool forward) {
    const QList<QWidget*> order = tabOrder();
    const qsizetype n = order.size();
    qsizetype at = order.indexOf(from);
    for (qsizetype step = 1; step <= n; ++step) {
        const qsizetype i = ((at < 0 ? (forward ? -1 : 0) : at) + (forward ? step : -step) + n) % n;
        QWidget* next = order.at(i);
        if (!next->isVisible() || !next->isEnabled())
            continue;
        for (Pane* pane : panes())
            if (pane->isAncestorOf(next) && pane->frame())
                mdi_->setActiveSubWindow(pane->frame());
        next->setFocus(Qt::TabFocusReason);
        return;
    }
}

QSize frmDravonel::paneSize(double scaleWidth, double scaleHeight) {
    return QSize(roundHalfEven16(scaleWidth / 2), roundHalfEven16(scaleHeight / 3));
}

int frmDravonel::MDIForm_Load(const QString& c) {
    // 1. "/U" alone: the question, maybe the removal of the settings, the end.
    if (c.toUpper() == QLatin1String("/U") && (!haveArguments_ || arguments_.size() == 1)) {
        if (askYesNo(resDravonel(0) + resAll(20)))
            program_.store.deleteSection(kStoreApplication, kStoreSection);
        return 0;
    }
    // 2-3. Settings, modules, and no start without the LHA module.
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
        showMessage(resDravonel(205));
        return 1;
    }
    // 4. The automatic run, with no window ever shown.
    if (!c.isEmpty() && program_.options.Auto) {
        bool finished = false;
        if (AutoStart(c, finished))
            return finished ? 0 : 1;
    }
    setWindowTitle(resDravonel(9999));
    for (int i = 0; i < 4; ++i)
        btnExe[size_t(i)]->setText(resDravonel(1 + i));
    btnCancel->setText(resAll(5));
    SetToolTip(program_.options.Tip);
    loadPanes();
    loadDialogs();
    SetFontData();
    for (QWidget* control : tabOrder())
        control->installEventFilter(this);
    loadGeometry();
    run_->clearCancel();
    updateActions();
    mdiInFile_->Pattern_Make();
    mdiStatus_->RefreshForm();
    if (!c.isEmpty())
        addCommandLine(c);
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

void frmDravonel::loadGeometry() {
    // A stored value that cannot be read gives its default, like an absent one.
    const WindowSettings keys(program_.store, QStringLiteral("Main"));
    float left = keys.readSingle(QStringLiteral("Main_Left"), 1000);
    float top = keys.readSingle(QStringLiteral("Main_Top"), 1000);
    float width = keys.readSingle(QStringLiteral("Main_Width"), 8000);
    float height = keys.readSingle(QStringLiteral("Main_Height"), 8000);
    const qint16 state = keys.readInt16(QStringLiteral("Main_WindowState"), 0);
    // The window is never smaller than its content needs (updateMinimumSize).
    // A first start (no usable stored width) also leaves room for the panes'
    // captions side by side.
    updateMinimumSize();
    if (!keys.storedSingle(QStringLiteral("Main_Width")))
        width = std::max(width, float(toTwips(captionsWidth())));
    // Corrections: a window off the screen or too small comes back usable. They
    // apply to the normal-state rectangle whatever the stored state.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize(1024, 768);
    if (left < 0 || left > toTwips(screenSize.width()))
        left = 1000;
    if (top < 0 || top > toTwips(screenSize.height()))
        top = 1000;
    if (width < 2000)
        width = 8000;
    if (height < 500)
        height = 8000;
    // Then the whole window fits the screen it comes back on (a scale factor
    // or a smaller screen would otherwise leave part of it out of reach).
    QRect window = toPixels(left, top, width, height);
    const QScreen* on = QGuiApplication::screenAt(window.center());
    if (!on)
        on = screen;
    if (on)
        window = fitToArea(QRect(window.topLeft(), window.size().expandedTo(minimumSize())),
                           on->availableGeometry());
    setGeometry(window);
    normalGeometry_ = geometry();
    if (state == 1)
        setWindowState(Qt::WindowMinimized);
    else if (state == 2)
        setWindowState(Qt::WindowMaximized);
}

bool frmDravonel::AutoStart(const QString& c, bool& finished) {
    // The session alone: its folders from the settings, the command line's
    // files; no pane is loaded.
    session_.loadFolder(Session::Folder::In, program_.store);
    session_.loadFolder(Session::Folder::Out, program_.store);
    addCommandLine(c);
    // A script that started the automatic run reads what happened here; a
    // terminal also sees the progress line.
    ProgressLine terminalProgress(stderr);
    terminalProgress_ = &terminalProgress;
    const QMetaObject::Connection echo = connect(&session_.log(), &ResultLog::lineAdded, this,
                                                 [&terminalProgress](const QString& line) {
                                                     terminalProgress.clear();
                                                     printTerminalLine(stdout, line);
                                                 });
    if (session_.targets().count() == 0) {
        disconnect(echo);
        terminalProgress_ = nullptr;
        return false;
    }
    // The window would show the current folder in place of an output folder
    // that cannot be opened; a run without a window writes nowhere but where
    // it was told to, and says why it did not run.
    const QString outFolder = session_.outputFolder();
    const bool opened = session_.openedGivenFolder(Session::Folder::Out);
    if (!opened || outFolder.isEmpty() ||
        ::access(QFile::encodeName(outFolder).constData(), W_OK | X_OK) != 0) {
        disconnect(echo);
        terminalProgress_ = nullptr;
        printTerminalLine(stderr,
                          kUnusableOutputFolder.arg(
                              opened ? outFolder : session_.givenFolder(Session::Folder::Out)));
        finished = false;
        return true;
    }
    const RunOutcome outcome =
        run_->runWithoutWindows(RunMode(program_.options.AutoExe), outFolder);
    finished = outcome.allArchived();
    disconnect(echo);
    terminalProgress.clear();
    terminalProgress_ = nullptr;
    // Every file that is in no archive is named, as --batch names them.
    for (const NotArchived& left : outcome.notArchived)
        printTerminalLine(stderr, QStringLiteral("dravonel2: ") + left.text());
    if (program_.options.AutoLog)
        copyLog(session_.log());
    return true;
}

void frmDravonel::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!activated_)
        MDIForm_Activate();
}

int frmDravonel::captionsWidth() const {
    int widest = 0;
    for (Pane* pane : panes()) {
        QWidget* frame = pane->frame();
        if (!frame)
            continue;
        QFont font = frame->font();
        font.setBold(true); // an active pane's caption may be drawn bold
        // The caption's text, and room for its icon and two buttons.
        const int buttons =
            4 * frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
        widest =
            std::max(widest, QFontMetrics(font).horizontalAdvance(pane->windowTitle()) + buttons);
    }
    // Two columns, and the window's own margins.
    return 2 * widest + 2 * mdi_->frameWidth();
}

QRect frmDravonel::fitToArea(const QRect& window, const QRect& area) {
    const QSize size = window.size().boundedTo(area.size());
    const int x = std::clamp(window.x(), area.left(), area.left() + area.width() - size.width());
    const int y = std::clamp(window.y(), area.top(), area.top() + area.height() - size.height());
    return QRect(QPoint(x, y), size);
}

void frmDravonel::fitFrameToScreen() {
    if (windowState() != Qt::WindowNoState || !screen())
        return;
    // The frame the window manager adds counts too, once it is known: the
    // window manager tells it a moment after the window appears, so look again
    // a few times while there is none.
    const QRect frame = frameGeometry();
    if (frame == geometry() && ++frameLooks_ < 10) {
        QTimer::singleShot(100, this, &frmDravonel::fitFrameToScreen);
        return;
    }
    // Shrink the window by what the frame would leave outside, then move it in.
    const QRect area = screen()->availableGeometry();
    const QRect fitted = fitToArea(frame, area);
    if (fitted == frame)
        return;
    const QRect inner = geometry();
    resize(inner.width() - (frame.width() - fitted.width()),
           inner.height() - (frame.height() - fitted.height()));
    move(fitted.topLeft());
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
    QTimer::singleShot(0, this, &frmDravonel::fitFrameToScreen);
    BtnEnabledChange();
    mdiInDir->focusControl()->setFocus();
}

void frmDravonel::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (windowState() == Qt::WindowNoState)
        normalGeometry_ = geometry();
    MDIForm_Resize();
}

void frmDravonel::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        MDIForm_Resize();
}

QSize frmDravonel::runButtonSize() const {
    // 1335 x 375 twips, or what the largest caption needs in the font in use.
    QSize size = toPixels(1335, 375);
    for (int i = 0; i < 5; ++i)
        size = size.expandedTo(runButton(i)->sizeHint());
    return size;
}

int frmDravonel::stripHeight() const {
    // 615 twips, or the buttons with margins of 120 twips above and below.
    return std::max(toPixels(615), runButtonSize().height() + 2 * toPixels(120));
}

int frmDravonel::runStripWidth() const {
    // Margins of 120 twips, gaps of 105, and cancel after the fourth button.
    return 2 * toPixels(120) + 5 * runButtonSize().width() + 4 * toPixels(105);
}

void frmDravonel::MDIForm_Resize() {
    const QSize button = runButtonSize();
    const int margin = toPixels(120), gap = toPixels(105);
    pnlDravonel->setFixedHeight(stripHeight());
    pnlDravonel->setGeometry(0, 0, centralWidget()->width(), pnlDravonel->height());
    mdi_->setGeometry(0, pnlDravonel->height(), centralWidget()->width(),
                      centralWidget()->height() - pnlDravonel->height());
    const QList<QRect> cells = paneCells();
    for (int i = 0; i < panes_.size(); ++i)
        panes_.at(i)->placeInCell(cells.at(i));
    QTimer::singleShot(0, this, &frmDravonel::keepPanesClearOfIcons);
    // The strip: the mode buttons from the left, cancel at the right edge but
    // never over the fourth button.
    for (int i = 0; i < 4; ++i)
        btnExe[size_t(i)]->setGeometry(margin + i * (button.width() + gap), margin, button.width(),
                                       button.height());
    const int x =
        std::max(width() - toPixels(60) - button.width(), margin + 4 * (button.width() + gap));
    btnCancel->setGeometry(x, margin, button.width(), button.height());
}

void frmDravonel::updateMinimumSize() {
    // Every menu of the bar and all five run buttons stay in reach, and each
    // row of panes keeps the height its tallest pane needs to show its
    // controls, so that at the window's smallest no control is drawn over
    // another.
    int columnWidth = 0, rowsHeight = 0;
    for (int row = 0; row < 3; ++row) {
        int tallest = 0;
        for (int column = 0; column < 2; ++column) {
            const qsizetype index = column * 3 + row;
            if (index >= panes_.size())
                continue;
            const Pane* pane = panes_.at(index);
            // The pane's frame: its title bar and borders.
            const int border =
                2 * style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, pane->frame());
            const int title =
                style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, pane->frame());
            const QSize need = pane->minimumContentSize();
            tallest = std::max(tallest, need.height() + title + border);
            columnWidth = std::max(columnWidth, need.width() + border);
        }
        rowsHeight += tallest;
    }
    const int chrome = menuBar()->sizeHint().height() + stripHeight() +
                       statusBar()->sizeHint().height() + mdi_->frameWidth() * 2;
    setMinimumSize(std::max({menuBar()->sizeHint().width(), runStripWidth(), 2 * columnWidth}),
                   chrome + rowsHeight);
}

void frmDravonel::keepPanesClearOfIcons() {
    // Minimised panes lie in a row along the bottom of the area; a pane in its
    // normal state that reaches into that row is cut back to end above it,
    // so no icon covers a pane's controls (the target list's buttons).
    const QList<QMdiSubWindow*> frames = mdi_->subWindowList();
    int iconTop = mdi_->viewport()->height();
    for (const QMdiSubWindow* frame : frames)
        if (frame->isVisible() && frame->isMinimized())
            iconTop = std::min(iconTop, frame->y());
    for (QMdiSubWindow* frame : frames) {
        if (!frame->isVisible() || frame->isMinimized() || frame->isMaximized())
            continue;
        QRect g = frame->geometry();
        if (g.top() < iconTop && g.bottom() >= iconTop) {
            g.setBottom(iconTop - 1);
            frame->setGeometry(g);
        }
    }
}

QList<QRect> frmDravonel::paneCells() const {
    // The client area below the strip, without scroll bars.
    const QRect client = mdi_->contentsRect();
    const QSize wh = paneSize(toTwips(client.width()), toTwips(client.height()));
    const double w = wh.width(), h = wh.height();
    QList<QRect> cells;
    for (int index = 0; index < panes_.size(); ++index) {
        // Left column: input folder, input files, targets; right column:
        // output folder, log, output files.
        const double left = index / 3 * w, top = index % 3 * h;
        // Pixel edges from twips edges, so neighbours meet without a gap or an
        // overlap that would bring up scroll bars.
        const int x0 = toPixels(left), y0 = toPixels(top);
        const int x1 = std::min(toPixels(left + w), client.width());
        const int y1 = std::min(toPixels(top + h), client.height());
        cells << QRect(x0, y0, x1 - x0, y1 - y0);
    }
    return cells;
}

void frmDravonel::SetToolTip(bool blnToolTip) {
    const QString texts[5] = {resDravonel(6), resDravonel(7), resDravonel(8), resDravonel(9),
                              resAll(10)};
    const char* items[5] = {"mnuExe0", "mnuExe1", "mnuExe2", "mnuExe3", "mnuCancel"};
    for (int i = 0; i < 5; ++i) {
        QPushButton* button = runButton(i);
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
    for (QPushButton* b : btnExe)
        b->setFont(font);
    btnCancel->setFont(font);
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

void frmDravonel::btnExe_Click(int index) {
    run_->run(RunMode(index), session_.outputFolder());
}

void frmDravonel::btnCancel_Click() {
    run_->requestCancel();
}

bool frmDravonel::CheckArchiveName(const QString& name) {
    if (name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('/'))) {
        showMessage(resDravonel(203));
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

void frmDravonel::addCommandLine(const QString& c) {
    if (haveArguments_)
        CommandLineAdd(arguments_);
    else
        CommandLineAdd(c);
}

bool frmDravonel::CommandLineAdd(const QStringList& items) {
    session_.targets().removeAll();
    for (const QString& item : items) {
        if (item.isEmpty())
            continue;
        const int result = CommandLineItemAdd(item);
        if (result == 1)
            return true;
        if (result != 0) {
            session_.targets().removeAll();
            return false;
        }
    }
    return true;
}

bool frmDravonel::CommandLineAdd(const QString& c) {
    session_.targets().removeAll();
    bool ok = true;
    qsizetype i = 0;
    const qsizetype n = c.size();
    while (i < n) {
        QString item;
        bool last = false;
        if (c.at(i) == QLatin1Char('"')) {
            const qsizetype close = c.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0) {
                ok = false;
                break;
            }
            item = c.mid(i + 1, close - i - 1);
            i = close + 1;
        } else {
            const qsizetype blank = c.indexOf(QLatin1Char(' '), i);
            if (blank < 0) {
                item = c.mid(i);
                last = true;
            } else {
                item = c.mid(i, blank - i);
                i = blank + 1;
            }
        }
        if (!item.isEmpty()) {
            const int result = CommandLineItemAdd(item);
            if (result == 1)
                break;
            if (result != 0) {
                ok = false;
                break;
            }
        }
        if (last)
            break;
    }
    if (!ok)
        session_.targets().removeAll();
    return ok;
}

int frmDravonel::CommandLineItemAdd(const QString& item) {
    if (item.right(4).toUpper() == QLatin1String(".DVF") && CanOpenForReading(item)) {
        session_.setJobName(LongPath(item));
        LoadDvf();
        return 1;
    }
    return session_.targets().Gaibu_ListInAdd(item) ? 0 : -1;
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

    const WindowSettings keys(program_.store, QStringLiteral("Main"));
    const Qt::WindowStates s = windowState();
    const int state = (s & Qt::WindowMinimized) ? 1 : (s & Qt::WindowMaximized) ? 2 : 0;
    keys.write(QStringLiteral("Main_WindowState"), QString::number(state));
    if (state == 0) {
        const QRect g = geometry();
        keys.writeSingle(QStringLiteral("Main_Left"), float(toTwips(g.x())));
        keys.writeSingle(QStringLiteral("Main_Top"), float(toTwips(g.y())));
        keys.writeSingle(QStringLiteral("Main_Width"), float(toTwips(g.width())));
        keys.writeSingle(QStringLiteral("Main_Height"), float(toTwips(g.height())));
    }
    SaveSettings(program_.store, program_.options);
}

void frmDravonel::mnuExit_Click() {
    close();
}

void frmDravonel::mnuFont_Click() {
    bool ok = false;
    // The dialog starts on the face the windows show: a stored face that is
    // not installed ("ＭＳ 明朝") stands for the one the platform put in its place.
    QFont current = settingsFont(program_);
    const QFontInfo inUse(current);
    current.setFamily(inUse.family());
    current.setStyleName(inUse.styleName());
    const QFont chosen = QFontDialog::getFont(&ok, current, this, QStringLiteral("Dravonel2"));
    if (!ok)
        return;
    OptionSet& o = program_.options;
    // Sizes above kLargestFontSize are taken as it: the panes and the strip
    // stay usable up to there.
    const qint16 size = qint16(
        std::min<long>(std::lround(chosen.pointSizeF() > 0 ? chosen.pointSizeF() : o.Font_Size),
                       kLargestFontSize));
    // OK without a change keeps the stored face and lays nothing out again.
    if (chosen.family() == current.family() && size == o.Font_Size &&
        chosen.bold() == o.Font_Bold && chosen.italic() == o.Font_Italic)
        return;
    o.Font_Name = chosen.family();
    o.Font_Size = size;
    o.Font_Bold = chosen.bold();
    o.Font_Italic = chosen.italic();
    // The panes first: the window's smallest size follows their controls.
    for (Pane* pane : panes_)
        pane->SetFontData();
    SetFontData();
    frmAbout_->SetFontData();
    frmDefault_->SetFontData();
    frmOption_->SetFontData();
}

void frmDravonel::mnuHelp_Click() {
    const QString page = helpPagePath();
    const QString where = kHelpWhere.arg(page);
    if (!QFileInfo::exists(page)) {
        showMessage(kHelpMissing.arg(page));
        return;
    }
    // The desktop's opener reports by its exit status whether a viewer took
    // the page; without the opener the platform's own way is tried. Either
    // way a user without a viewer is told where the page is.
    auto* opener = new QProcess(this);
    connect(opener, &QProcess::finished, this,
            [this, opener, where](int code, QProcess::ExitStatus status) {
                opener->deleteLater();
                if (status != QProcess::NormalExit || code != 0)
                    showMessage(where);
            });
    connect(opener, &QProcess::errorOccurred, this,
            [this, opener, page, where](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                opener->deleteLater();
                if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
                    showMessage(where);
            });
    opener->start(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(page).toString()});
}

void frmDravonel::mnuLogCopy_Click() {
    mdiStatus_->LogCopy();
}

void frmDravonel::mnuLogSave_Click() {
    mdiStatus_->LogSave();
}

void frmDravonel::mnuname_Click() {
    AskArchiveName();
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

QString frmDravonel::jobDialog(bool save, const QString& initial) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setNameFilters(dialogFilters(resDravonel(12)));
    dialog.setDefaultSuffix(QStringLiteral("DVF"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!save)
        dialog.setFileMode(QFileDialog::AnyFile);
    if (!initial.isEmpty())
        dialog.selectFile(initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void frmDravonel::mnuOpen_Click() {
    const QString name = jobDialog(false, session_.jobName());
    if (name.isEmpty())
        return;
    session_.setJobName(name);
    LoadDvf();
    BtnEnabledChange();
}

void frmDravonel::mnuSave_Click() {
    if (session_.jobName().isEmpty()) {
        const QString name = jobDialog(true, QString());
        if (!name.isEmpty())
            session_.setJobName(name);
    }
    if (!session_.jobName().isEmpty())
        WriteJobFile(session_.jobName(), session_, *this);
}

void frmDravonel::mnuSaveAs_Click() {
    const QString name = jobDialog(true, session_.jobName());
    if (name.isEmpty())
        return;
    session_.setJobName(name);
    WriteJobFile(session_.jobName(), session_, *this);
}

bool frmDravonel::LoadDvf() {
    return dravonel::LoadDvf(session_.jobName(), session_, *this);
}

// RunHost

void frmDravonel::showMessage(const QString& text) {
    boxes_.showMessage(text);
}

bool frmDravonel::askYesNo(const QString& text) {
    return boxes_.askYesNo(text);
}

QString frmDravonel::inputBox(const QString& prompt, const QString& title,
                              const QString& proposed) {
    return boxes_.inputBox(prompt, title, proposed);
}

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

void frmDravonel::yield() {
    QCoreApplication::processEvents();
}

QString frmDravonel::archiveName() {
    return session_.archiveName();
}

QString frmDravonel::askArchiveName() {
    AskArchiveName();
    return session_.archiveName();
}

void frmDravonel::scrollTargetToTop(int row) {
    mdiFile_->scrollToTop(row);
}

namespace {

// The share of the current call that is done.
double callShare(const RunProgress& p) {
    return p.total > 0 ? double(std::min(p.done, p.total)) / double(p.total) : 0;
}

} // namespace

double frmDravonel::runFraction(const RunProgress& p) {
    const double call = callShare(p);
    // By bytes where the run knows them, else by archives.
    if (p.runTotal > 0)
        return std::min(1.0,
                        (double(p.runDone) + call * double(p.archiveBytes)) / double(p.runTotal));
    if (p.archiveCount > 0)
        return std::min(1.0, (std::max(p.archive - 1, 0) + call) / p.archiveCount);
    return call;
}

void frmDravonel::progress(const RunProgress& p) {
    // The whole run: archives done of all, bytes of all where known; then the
    // archive and the file in progress.
    const QString count = p.archiveCount > 0
                              ? QStringLiteral("%1/%2").arg(p.archive).arg(p.archiveCount)
                              : QString::number(p.archive);
    QString bytes;
    if (p.runTotal > 0) {
        const auto done = qint64(p.runDone + quint64(callShare(p) * double(p.archiveBytes)));
        const QLocale c = QLocale::c();
        bytes = QStringLiteral("  %1 / %2")
                    .arg(c.formattedDataSize(std::min<qint64>(done, qint64(p.runTotal))),
                         c.formattedDataSize(qint64(p.runTotal)));
    }
    progressLabel_->setText(
        QStringLiteral("%1%2  %3  %4").arg(count, bytes, FileNameOf(p.archivePath), p.member));
    progress_->setValue(int(std::lround(runFraction(p) * 1000)));
    progress_->setFormat(QStringLiteral("%p%"));
    if (terminalProgress_) {
        const quint64 done = p.runDone + quint64(callShare(p) * double(p.archiveBytes));
        terminalProgress_->show(p.archive, p.archiveCount, std::min(done, p.runTotal), p.runTotal,
                                FileNameOf(p.archivePath) + QStringLiteral(": ") + p.member);
    }
}

void frmDravonel::runFinished() {
    if (closeAfterRun_)
        QTimer::singleShot(0, this, &QWidget::close);
    progressLabel_->clear();
    progress_->setValue(0);
    progress_->setFormat(QString());
}

// DialogHost

QString frmDravonel::inputFolder() {
    return session_.inputFolder();
}
QString frmDravonel::outputFolder() {
    return session_.outputFolder();
}
void frmDravonel::setOutputFolder(const QString& folder) {
    session_.setOutputFolder(folder);
}

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

void frmDravonel::emptyTargetList() {
    session_.targets().removeAll();
}

} // namespace dravonel
