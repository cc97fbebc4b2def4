// The main window offscreen: start-up decisions, the command line, layout and
// geometry, the mode-button rule, a real run's lock and unlock, shortcuts from
// any pane, tool-tips, and the close sequence.
#include "frmAbout.h"
#include "frmDravonel.h"
#include "frmOption.h"
#include "ini_settings_store.h"
#include "mdiDir.h"
#include "mdiFile.h"
#include "mdiInFile.h"
#include "mdiOutFile.h"
#include "mdiStatus.h"
#include "pane.h"
#include "pane_grid.h"
#include "program.h"
#include "run_status.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <QLibrary>

using namespace dravonel;

namespace {

// The window with its message boxes and input box answered by the test.
class TestWindow : public frmDravonel {
public:
    using frmDravonel::frmDravonel;
    QStringList messages;
    QList<bool> answers;
    QString typed;
    void showMessage(const QString& text) override { messages << text; }
    bool askYesNo(const QString& text) override {
        messages << text;
        return !answers.isEmpty() && answers.takeFirst();
    }

    QString inputBox(const QString& prompt, const QString&, const QString&) override {
        messages << prompt;
        return typed;
    }
};

class MainWindow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<IniSettingsStore> store;
    OptionSet options;
    LibraryState libraries;
    ModuleArchivers modules;
    std::unique_ptr<Program> program;
    std::unique_ptr<TestWindow> window;

    QString ini() const { return dir.path() + "/cfg/Korvath's Soft.ini"; }
    QString tmp() const { return dir.path() + "/tmp/"; }

    void SetUp() override {
        QDir(dir.path()).mkpath("cfg");
        QDir(dir.path()).mkpath("tmp");
        QDir(dir.path()).mkpath("out");
        newStore();
    }
    // A store that reads the file as it is now (and a program around it).
    void newStore() {
        window.reset();
        program.reset();
        store = std::make_unique<IniSettingsStore>(dir.path() + "/cfg");
        program = std::make_unique<Program>(*store, options, libraries, modules);
        program->tempFolder = [this] { return tmp(); };
        program->checkLibraries = [this] {
            return modules.CheckLibraries(QStringLiteral(FAKE_MODULES "/complete"));
        };
    }
    // Writes settings before the window starts.
    void settings(const QString& text) {
        window.reset();
        store->sync();
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[Dravonel2]\n" + text).toUtf8());
        f.close();
        newStore();
    }
    TestWindow& make() {
        window = std::make_unique<TestWindow>(*program);
        return *window;
    }
    QString file(const QString& name) {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("data");
        return path;
    }
    QString iniValue(const QString& key) {
        store->sync();
        QSettings s(ini(), QSettings::IniFormat);
        return s.value("Dravonel2/" + key, "<absent>").toString();
    }
    int unlhaCalls() {
        QLibrary lib(QStringLiteral(FAKE_MODULES "/complete/libunlha32.so"));
        EXPECT_TRUE(lib.load());
        return reinterpret_cast<int (*)()>(lib.resolve("UnlhaFakeCalls"))();
    }
    void resetFakes() {
        for (const char* f : {"libunlha32.so:Unlha", "libzip32j.so:Zip"}) {
            const QStringList p = QString(f).split(':');
            QLibrary lib(QStringLiteral(FAKE_MODULES "/complete/") + p[0]);
            ASSERT_TRUE(lib.load());
            reinterpret_cast<void (*)()>(lib.resolve((p[1] + "FakeReset").toLatin1()))();
        }
    }
};

} // namespace

TEST_F(MainWindow, SlashUAloneAsksAndRemovesOnlyTheProgramsSection) {
    settings("UCase=False\n[Other]\nKeep=1\n");
    TestWindow& w = make();
    w.answers = {true};
    EXPECT_EQ(w.MDIForm_Load("/u"), 0);
    EXPECT_EQ(w.messages, QStringList{"で使用したレジストリを全て削除します"});
    EXPECT_EQ(iniValue("UCase"), "<absent>");
    QSettings s(ini(), QSettings::IniFormat);
    EXPECT_EQ(s.value("Other/Keep").toString(), "1");

    const QString a = file("a.txt");
    TestWindow& again = make();
    EXPECT_EQ(again.MDIForm_Load("/U " + a), frmDravonel::kGoOn) << "/U with a file is a list";
    EXPECT_EQ(again.session().targets().entries(), QStringList{a});
    EXPECT_TRUE(again.messages.isEmpty());
}

TEST_F(MainWindow, WithoutTheLhaModuleTheStartIsRefused) {
    program->checkLibraries = [] { return LibraryState{}; };
    TestWindow& w = make();
    EXPECT_EQ(w.MDIForm_Load(""), 1);
    EXPECT_EQ(w.messages, QStringList{"UNLHA32.DLLが無いか異常です。実行できません。"});
    EXPECT_FALSE(QFile::exists(ini()));
}

TEST_F(MainWindow, TheAutomaticRunCompressesWithoutWindowsAndSavesNothing) {
    resetFakes();
    settings("Auto=True\nAutoExe=3\nAutoLog=False\n");
    const QString a = file("a.txt"), b = file("b.txt");
    TestWindow& w = make();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(w.MDIForm_Load(a + " " + b), 0);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(unlhaCalls(), 2);
    EXPECT_NE(out.find("　正常に圧縮されました\n"), std::string::npos);
    EXPECT_NE(out.find("全て終了しました\n"), std::string::npos);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.activated());
    EXPECT_EQ(iniValue("Version"), "<absent>");

    // A job that leaves the list empty: the windows come instead.
    const QString job = dir.path() + "/empty.DVF";
    QFile f(job);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Dravonel2 DVF FILE\r\nINDIR=/\r\nOUTDIR=/\r\nFILENAME=x\r\n");
    f.close();
    TestWindow& second = make();
    EXPECT_EQ(second.MDIForm_Load(job), frmDravonel::kGoOn);
    EXPECT_EQ(second.session().archiveName(), "x");
}

TEST_F(MainWindow, CommandLineItemsFollowTheQuotingRules) {
    const QString spaced = file("a b.txt"), c = file("c.txt");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    EXPECT_TRUE(w.CommandLineAdd("\"" + spaced + "\" " + c));
    EXPECT_EQ(w.session().targets().entries(), (QStringList{spaced, c}));
    EXPECT_TRUE(w.CommandLineAdd(c + "  " + spaced.left(0) + c));
    EXPECT_EQ(w.session().targets().entries(), QStringList{c}) << "empty items are skipped";
    EXPECT_FALSE(w.CommandLineAdd(c + " \"" + spaced));
    EXPECT_EQ(w.session().targets().count(), 0) << "an unclosed quote leaves the list empty";

    const QString job = dir.path() + "/job.dvf";
    QFile f(job);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("Dravonel2 DVF FILE\r\nINDIR=/\r\nOUTDIR=/\r\nFILENAME=\r\n" + c + "\r\n").toUtf8());
    f.close();
    EXPECT_TRUE(w.CommandLineAdd(job + " " + spaced));
    EXPECT_EQ(w.session().targets().entries(), QStringList{c}) << "names after a job are ignored";
    EXPECT_EQ(w.session().jobName(), job);
    EXPECT_TRUE(w.CommandLineAdd(dir.path() + "/missing.DVF " + c));
    EXPECT_EQ(w.session().targets().entries(), QStringList{c});
}

TEST_F(MainWindow, LayoutHalvesTheWidthAndThirdsTheHeightRoundingToEven) {
    EXPECT_EQ(PaneGrid::paneSize(9001, 3001), QSize(4500, 1000));
    EXPECT_EQ(PaneGrid::paneSize(9003, 3002), QSize(4502, 1001));
    EXPECT_EQ(PaneGrid::paneSize(7, 4.5), QSize(4, 2));
}

TEST_F(MainWindow, TheProgressBarShowsTheWholeRun) {
    RunProgress p;
    p.archive = 3;
    p.archiveCount = 1000;
    p.done = p.total = 100; // the third of a thousand small files is complete
    EXPECT_NEAR(RunStatus::runFraction(p), 0.003, 1e-9);
    p.runTotal = 60;
    p.runDone = 30;
    p.archiveBytes = 30;
    p.done = 50;
    EXPECT_NEAR(RunStatus::runFraction(p), 0.75, 1e-9) << "by bytes where they are known";
}

TEST_F(MainWindow, StoredGeometryIsCorrectedWhenUnusable) {
    settings("Main_Left=-50\nMain_Top=300\nMain_Width=1999\nMain_Height=2000\n");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    const double tpp = 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    EXPECT_NEAR(w.geometry().x() * tpp, 1000, tpp);
    EXPECT_NEAR(w.geometry().y() * tpp, 300, tpp);
    EXPECT_NEAR(w.geometry().width(), std::max(8000 / tpp, double(w.minimumWidth())), 1);
    EXPECT_NEAR(w.geometry().height(), std::max(2000 / tpp, double(w.minimumHeight())), 1);

    // Values spoilt by hand or by another program give their defaults: the
    // window, its panes and its dialogs always open.
    settings("Main_Left=abc\nMain_Top=inf\nMain_Width=nan\nMain_Height=\nMain_WindowState=x\n"
             "Resize=False\nInDir_Left=nan\nFile_Width=1e30\nStatus_Height=-inf\n"
             "Default_Width=garbage\nOption_Left=nan\nAbout_Top=1e12\nMenuMente_Left=--\n"
             "Dir_Out_Yuko=nan\n");
    TestWindow& bad = make();
    ASSERT_EQ(bad.MDIForm_Load(""), frmDravonel::kGoOn);
    EXPECT_TRUE(bad.messages.isEmpty()) << bad.messages.join('\n').toStdString();
    EXPECT_NEAR(bad.geometry().x() * tpp, 1000, tpp);
    EXPECT_GE(bad.geometry().width() * tpp, 8000 - tpp);
    EXPECT_EQ(bad.windowState(), Qt::WindowNoState);
}

TEST_F(MainWindow, TheRestoredWindowFitsTheAvailableScreenArea) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const double tpp = 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    // Larger than the screen (a scale factor doubles a stored size): shrunk.
    settings("Main_Left=1000\nMain_Top=1000\nMain_Width=90000\nMain_Height=90000\n");
    TestWindow& big = make();
    ASSERT_EQ(big.MDIForm_Load(""), frmDravonel::kGoOn);
    EXPECT_TRUE(area.contains(big.geometry())) << big.geometry().width();
    EXPECT_EQ(big.geometry().size(), area.size());
    // On the screen at its left and top, but running off its right and bottom:
    // moved in, its size kept.
    settings(QString("Main_Left=%1\nMain_Top=%2\nMain_Width=6000\nMain_Height=4000\n")
                 .arg(int((area.width() - 20) * tpp))
                 .arg(int((area.height() - 20) * tpp)));
    TestWindow& off = make();
    ASSERT_EQ(off.MDIForm_Load(""), frmDravonel::kGoOn);
    EXPECT_TRUE(area.contains(off.geometry()));
    EXPECT_NEAR(off.geometry().width(), std::max(6000 / tpp, double(off.minimumWidth())), 1);
}

TEST_F(MainWindow, PanesWithoutStoredGeometryOpenInTheirLayoutCells) {
    // The panes keep their own geometry, but only the log pane has any stored.
    settings("Resize=False\nStatus_Left=0\nStatus_Top=0\nStatus_Width=3000\n"
             "Status_Height=1500\n");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QRect client = w.findChild<QMdiArea*>()->contentsRect();
    const int cw = client.width() / 2, ch = client.height() / 3;
    const struct {
        Pane* pane;
        int column, row;
    } cells[] = {{w.inDir(), 0, 0},
                 {w.inFile(), 0, 1},
                 {w.file(), 0, 2},
                 {w.outDir(), 1, 0},
                 {w.outFile(), 1, 2}};
    for (const auto& c : cells) {
        const QRect g = c.pane->frame()->geometry();
        EXPECT_NEAR(g.x(), c.column * cw, 1) << c.pane->objectName().toStdString();
        EXPECT_NEAR(g.y(), c.row * ch, 1) << c.pane->objectName().toStdString();
        EXPECT_NEAR(g.width(), cw, 1) << c.pane->objectName().toStdString();
        EXPECT_NEAR(g.height(), ch, 1) << c.pane->objectName().toStdString();
    }
    const double tpp = 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    EXPECT_NEAR(w.status()->frame()->width() * tpp, 3000, tpp) << "stored geometry is kept";
    EXPECT_EQ(w.status()->frame()->pos(), QPoint(0, 0));

    // Switching the panes back to follow the window lays them out at once.
    options.Resize = true;
    QTimer::singleShot(0, w.option(), &QDialog::reject);
    w.mnuOption_Click();
    EXPECT_NEAR(w.status()->frame()->x(), cw, 1);
}

TEST_F(MainWindow, AMaximisedPaneStaysMaximisedThroughResizesWithTheTitleToMatch) {
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QMdiSubWindow* frame = w.status()->frame();
    frame->showMaximized();
    w.resize(w.width() + 40, w.height() + 30);
    QCoreApplication::processEvents();
    auto* area = w.findChild<QMdiArea*>();
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->geometry(), area->viewport()->rect());
    EXPECT_EQ(w.windowTitle(), "Dravonel2 for Win32 - [実行履歴]");
    frame->showNormal();
    EXPECT_EQ(w.windowTitle(), "Dravonel2 for Win32");
    const QRect client = area->contentsRect();
    EXPECT_NEAR(frame->x(), client.width() / 2, 1) << "back in its cell of the new size";
    EXPECT_NEAR(frame->height(), client.height() / 3, 1);
}

TEST_F(MainWindow, AtTheFirstStartEveryMenuAndCaptionIsInReach) {
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QMenuBar* bar = w.menuBar();
    for (QAction* menu : bar->actions())
        EXPECT_TRUE(bar->rect().contains(bar->actionGeometry(menu))) << menu->text().toStdString();
    w.resize(100, w.height());
    EXPECT_GE(w.width(), bar->sizeHint().width()) << "never narrower than the menus";
    QMdiSubWindow* out = w.outDir()->frame();
    EXPECT_LT(out->fontMetrics().horizontalAdvance(w.outDir()->windowTitle()), out->width());
}

TEST_F(MainWindow, ModeButtonsFollowTheListAndKeepFileNUnderDoubleCompression) {
    settings("Ashuku=2\n");
    const QString a = file("a.txt");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(w.exeButton(i)->isEnabled()) << i;
    w.session().targets().ListInAdd(a);
    w.BtnEnabledChange();
    EXPECT_TRUE(w.exeButton(0)->isEnabled() && w.exeButton(1)->isEnabled() &&
                w.exeButton(2)->isEnabled());
    EXPECT_FALSE(w.exeButton(3)->isEnabled());
    options.Ashuku = 0;
    w.BtnEnabledChange();
    EXPECT_TRUE(w.exeButton(3)->isEnabled());
    options.Ashuku = 2;
    w.BtnEnabledChange();
    EXPECT_TRUE(w.exeButton(3)->isEnabled()) << "double compression leaves it as it was";
    w.session().setArchiveName("kept");
    w.session().targets().removeAll();
    w.BtnEnabledChange();
    EXPECT_EQ(w.session().archiveName(), "") << "an empty list forgets the archive name";
}

TEST_F(MainWindow, RunMenuItemsGoWithTheirButtonsAndTheCommonSetWithTheIdleWindow) {
    settings("Ashuku=2\n");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    const QStringList common{"mnuExit", "mnuFont",   "mnuLog",  "mnuLogCopy", "mnuFile", "mnuOpen",
                             "mnuSave", "mnuSaveAs", "mnuName", "mnuOption",  "mnuAbout"};
    for (const QString& name : common)
        EXPECT_TRUE(w.menuAction(name)->isEnabled()) << name.toStdString();
    EXPECT_FALSE(w.menuAction("mnuCancel")->isEnabled());
    w.session().targets().ListInAdd(file("a.txt"));
    w.BtnEnabledChange();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(w.menuAction(QString("mnuExe%1").arg(i))->isEnabled(),
                  w.exeButton(i)->isEnabled())
            << i;
    EXPECT_FALSE(w.menuAction("mnuExe3")->isEnabled());
}

TEST_F(MainWindow, ARealRunLocksEverythingButCancelAndUnlocksAfter) {
    resetFakes();
    const QString a = file("a.txt"), b = file("b.txt");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(a), frmDravonel::kGoOn);
    w.show();
    w.outDir()->setDirName(dir.path() + "/out");
    QLibrary lib(QStringLiteral(FAKE_MODULES "/complete/libunlha32.so"));
    ASSERT_TRUE(lib.load());
    reinterpret_cast<void (*)(int)>(lib.resolve("UnlhaFakeSetDelay"))(1500);

    bool checked = false;
    QTimer::singleShot(150, &w, [&] {
        checked = true;
        for (int i = 0; i < 4; ++i)
            EXPECT_FALSE(w.exeButton(i)->isEnabled());
        EXPECT_TRUE(w.cancelButton()->isEnabled());
        EXPECT_FALSE(w.file()->isEnabled());
        EXPECT_FALSE(w.status()->isEnabled());
        EXPECT_FALSE(w.menuAction("mnuFile")->isEnabled());
        EXPECT_FALSE(w.menuAction("mnuExit")->isEnabled());
        EXPECT_GT(w.progressBar()->value(), 0) << "progress shown during the call";
        // Every command is off (so are its shortcuts), and the list itself
        // refuses changes while the run holds it.
        for (const char* name : {"mnuOpen", "mnuSave", "mnuSaveAs", "mnuOption", "mnuName"})
            EXPECT_FALSE(w.menuAction(name)->isEnabled()) << name;
        // Pressed anyway: a dialog one of them opened would be shut and counted.
        int dialogs = 0;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++dialogs;
                modal->close();
            }
        });
        guard.start(50);
        w.session().setJobName(dir.path() + "/during.DVF");
        for (Qt::Key key : {Qt::Key_O, Qt::Key_S, Qt::Key_A}) {
            QTest::keyClick(&w, key, Qt::ControlModifier);
            QTest::qWait(120);
        }
        EXPECT_EQ(dialogs, 0);
        EXPECT_FALSE(QFile::exists(w.session().jobName())) << "nothing saved during the run";
        EXPECT_FALSE(w.session().targets().ListInAdd(b));
        w.session().targets().removeAll();
        EXPECT_EQ(w.session().targets().entries(), QStringList{a});
    });
    w.exeButton(3)->click();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(w.cancelButton()->isEnabled());
    EXPECT_TRUE(w.file()->isEnabled());
    EXPECT_TRUE(w.menuAction("mnuFile")->isEnabled());
    EXPECT_EQ(w.progressBar()->value(), 0) << "idle again";
    EXPECT_EQ(w.status()->log().lines().last(), "全て終了しました");
    EXPECT_EQ(w.session().targets().count(), 0);
    EXPECT_FALSE(w.exeButton(0)->isEnabled()) << "the list is empty now";
    reinterpret_cast<void (*)(int)>(lib.resolve("UnlhaFakeSetDelay"))(0);
}

TEST_F(MainWindow, JobShortcutWorksWhicheverPaneIsActive) {
    const QString a = file("a.txt");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(a), frmDravonel::kGoOn);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.session().setJobName(dir.path() + "/saved.DVF");
    auto* area = w.findChild<QMdiArea*>();
    ASSERT_NE(area, nullptr);
    area->setActiveSubWindow(w.status()->frame());
    QTest::keyClick(w.status()->lstKekka, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QFile::exists(w.session().jobName()));
}

TEST_F(MainWindow, ToolTipsSwitchAsAWhole) {
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    EXPECT_EQ(w.exeButton(0)->toolTip(),
              "ファイル名（拡張子を除く）を圧縮ファイル名として圧縮します (Ctrl+1)");
    EXPECT_EQ(w.cancelButton()->toolTip(), "実行中に中断します (Esc)");
    EXPECT_EQ(w.status()->lstKekka->toolTip(), "実行履歴");
    w.SetToolTip(false);
    w.status()->SetToolTip(false);
    EXPECT_EQ(w.exeButton(3)->toolTip(), "");
    EXPECT_EQ(w.status()->lstKekka->toolTip(), "");
}

TEST_F(MainWindow, ClosingWritesGeometryAndSettingsAndLeavesOtherRunsFilesAlone) {
    settings("Main_Left=1500\nMain_Top=1200\nUCase=False\n");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    // Another run's response file in the same temporary folder.
    QDir(tmp()).mkpath("run-other");
    QFile resp(tmp() + "run-other/DRAVONEL.RESPFILE");
    ASSERT_TRUE(resp.open(QIODevice::WriteOnly));
    resp.close();
    w.close();
    EXPECT_EQ(iniValue("Main_WindowState"), "0");
    EXPECT_EQ(iniValue("Version"), "1.02");
    EXPECT_EQ(iniValue("UCase"), "False");
    EXPECT_NE(iniValue("Main_Width"), "<absent>");
    EXPECT_TRUE(resp.exists());

    settings("Main_Left=1500\nMain_Top=1200\n");
    TestWindow& maxed = make();
    ASSERT_EQ(maxed.MDIForm_Load(""), frmDravonel::kGoOn);
    maxed.showMaximized();
    maxed.close();
    EXPECT_EQ(iniValue("Main_WindowState"), "2");
    EXPECT_EQ(iniValue("Main_Left"), "1500") << "the normal-state rectangle stays";
}

TEST_F(MainWindow, ClosingDuringARunCancelsItAndClosesAfterwards) {
    resetFakes();
    const QString a = file("a.txt"), b = file("b.txt");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(a + " " + b), frmDravonel::kGoOn);
    w.show();
    w.outDir()->setDirName(dir.path() + "/out");
    QLibrary lib(QStringLiteral(FAKE_MODULES "/complete/libunlha32.so"));
    ASSERT_TRUE(lib.load());
    auto setDelay = reinterpret_cast<void (*)(int)>(lib.resolve("UnlhaFakeSetDelay"));
    setDelay(5000);
    QTimer::singleShot(100, &w, [&w] { w.close(); });
    w.exeButton(3)->click();
    setDelay(0);
    EXPECT_EQ(unlhaCalls(), 1) << "the call in progress was cancelled, the next not started";
    EXPECT_EQ(w.status()->log().lines().last(), "中断しました");
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(iniValue("Version"), "1.02") << "closed the normal way";
}

TEST_F(MainWindow, KeysReachTheModesAndEveryControlHasANameForScreenReaders) {
    const QString a = file("a.txt");
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(a), frmDravonel::kGoOn);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);

    // Every button, list and text field is named through the accessibility
    // interface (the catalogue's tool-tip texts), tool-tips on or off.
    w.SetToolTipAll(false);
    int named = 0;
    for (QWidget* control : w.findChildren<QWidget*>()) {
        const bool kind = qobject_cast<QAbstractButton*>(control) ||
                          qobject_cast<QAbstractItemView*>(control) ||
                          qobject_cast<QLineEdit*>(control) || qobject_cast<QComboBox*>(control);
        if (!kind || !control->isVisible())
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(face, nullptr);
        EXPECT_FALSE(face->text(QAccessible::Name).isEmpty())
            << control->objectName().toStdString();
        ++named;
    }
    EXPECT_GE(named, 20) << "5 + 5 buttons, 8 lists, 2 text fields";
    EXPECT_EQ(QAccessible::queryAccessibleInterface(w.file()->lstFile)->text(QAccessible::Name),
              "このファイル名が圧縮の対象となります");

    // Tab walks from the last control of one pane into the next pane, and from
    // the last pane on to the mode buttons.
    QWidget* last = w.outFile()->lstOutFile;
    last->setFocus();
    QTest::keyClick(last, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(w.exeButton(0)));
    QTest::keyClick(w.exeButton(0), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), last);
    QWidget* endOfFirst = w.inDir()->txtDir;
    endOfFirst->setFocus();
    QTest::keyClick(endOfFirst, Qt::Key_Tab);
    EXPECT_TRUE(w.inFile()->isAncestorOf(QApplication::focusWidget()));
    EXPECT_EQ(w.findChild<QMdiArea*>()->activeSubWindow(), w.inFile()->frame());

    // The modes have keys of their own, in the run menu.
    QAction* fileN = w.menuAction("mnuExe3");
    ASSERT_NE(fileN, nullptr);
    EXPECT_EQ(fileN->text(), "FileN圧縮");
    EXPECT_TRUE(fileN->isEnabled());
    resetFakes();
    w.outDir()->setDirName(dir.path() + "/out");
    QTest::keyClick(&w, Qt::Key_4, Qt::ControlModifier);
    EXPECT_EQ(unlhaCalls(), 1);
    EXPECT_FALSE(w.menuAction("mnuCancel")->isEnabled()) << "idle again: cancel is off";
}

TEST_F(MainWindow, HelpWithoutAViewerTellsWhereThePageIs) {
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    // No opener on the path and no desktop to open the page.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8());
    w.mnuHelp_Click();
    QTRY_COMPARE(w.messages.size(), 1);
    qputenv("PATH", path);
    EXPECT_TRUE(w.messages.first().endsWith("help.html")) << w.messages.first().toStdString();
    EXPECT_TRUE(w.messages.first().startsWith("ヘルプを表示するプログラムが見つかりません。"));
}

TEST_F(MainWindow, TheFontDialogStartsOnTheFaceInUseAndOkWithoutAChangeKeepsIt) {
    settings("Font_Name=ＭＳ 明朝\nFont_Size=12\n"); // no such face here
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    QString shown;
    QTimer::singleShot(0, [&shown] {
        auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = dialog->currentFont().family();
        dialog->accept();
    });
    w.mnuFont_Click();
    EXPECT_EQ(shown, QFontInfo(w.exeButton(0)->font()).family()) << "the face the window shows";
    EXPECT_EQ(options.Font_Name, "ＭＳ 明朝") << "OK without a change keeps the stored face";
    EXPECT_EQ(options.Font_Size, 12);
}

TEST_F(MainWindow, OptionRowsGrowWithTheFontSoNoLabelIsCut) {
    for (int points : {12, 16}) {
        settings(QString("Font_Name=IPAGothic\nFont_Size=%1\n").arg(points));
        TestWindow& w = make();
        ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
        frmOption& dialog = *w.option();
        for (QWidget* line : std::initializer_list<QWidget*>{
                 dialog.lblAshuku, dialog.lblAshukuExe, dialog.lblPattern, dialog.ckbHiddn,
                 dialog.ckbUCase, dialog.obtAshuku[1], dialog.obtExe[3], dialog.btnOk}) {
            EXPECT_GE(line->width(), line->sizeHint().width()) << points;
            EXPECT_GE(line->height(), line->sizeHint().height()) << points;
            EXPECT_TRUE(dialog.rect().contains(line->mapTo(&dialog, line->rect().bottomRight())))
                << points;
        }
        EXPECT_LE(dialog.ckbHiddn->geometry().bottom(), dialog.ckbUCase->geometry().top())
            << "rows do not overlap";
    }
}

TEST_F(MainWindow, RunButtonsGrowWithTheFontUpToTheLargestSizeTakenWithoutOverlapping) {
    for (int points : {12, 16}) {
        settings(QString("Font_Name=IPAGothic\nFont_Size=%1\n").arg(points));
        TestWindow& w = make();
        ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
        // The smallest the window goes (offscreen, a size takes effect when
        // it is set before the window is shown).
        w.resize(w.minimumSize());
        w.show();
        QApplication::processEvents();
        QList<QPushButton*> buttons;
        for (int i = 0; i < 4; ++i)
            buttons << w.exeButton(i);
        buttons << w.cancelButton();
        for (int i = 0; i < buttons.size(); ++i) {
            QPushButton* b = buttons[i];
            EXPECT_GE(b->width(), b->sizeHint().width())
                << points << " " << b->text().toStdString();
            EXPECT_GE(b->height(), b->sizeHint().height()) << points;
            EXPECT_LE(b->geometry().bottom(), b->parentWidget()->height()) << points;
            EXPECT_LE(b->mapTo(&w, QPoint(b->width(), 0)).x(), w.width())
                << points << " in the window";
            if (i > 0) {
                EXPECT_LT(buttons[i - 1]->geometry().right(), b->geometry().left()) << points;
            }
        }
        // The panes start below the strip.
        EXPECT_GE(w.inDir()->parentWidget()->mapTo(&w, QPoint(0, 0)).y(),
                  buttons[0]->mapTo(&w, QPoint(0, buttons[0]->height())).y())
            << points;
    }
    // A larger size chosen in the font dialog is taken as the largest.
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->setCurrentFont(QFont("IPAGothic", 36));
        dialog->accept();
    });
    w.mnuFont_Click();
    EXPECT_EQ(options.Font_Size, kLargestFontSize);
}

TEST_F(MainWindow, DialogsOpenOverTheWindowAndShowTheDesktopsIcon) {
    {
        // Closed without opening them, the dialogs keep no position.
        TestWindow& first = make();
        ASSERT_EQ(first.MDIForm_Load(""), frmDravonel::kGoOn);
        first.show();
        first.close();
        for (const char* key : {"About_Left", "Option_Top", "MenuMente_Left", "Default_Top"})
            EXPECT_EQ(iniValue(key), "<absent>") << key;
    }
    newStore();
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.setGeometry(400, 300, 900, 700);
    w.show();
    QApplication::processEvents();
    QTimer::singleShot(0, [&w] {
        QWidget* about = QApplication::activeModalWidget();
        ASSERT_NE(about, nullptr);
        const QPoint offset = about->geometry().center() - w.geometry().center();
        EXPECT_LE(offset.manhattanLength(), 4) << "centred over the main window";
        about->close();
    });
    w.about()->exec();
    // The window and About carry the icon the desktop installs, not a
    // generic one.
    EXPECT_FALSE(w.windowIcon().isNull());
    const QImage installed = QImage(DESKTOP_ICONS "/32/io.github.korvath.Dravonel2.png")
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_FALSE(installed.isNull());
    const QImage shown = w.about()->imgAbout->pixmap().toImage().convertToFormat(
        QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(shown.size(), installed.size());
    EXPECT_EQ(shown, installed);
}

TEST_F(MainWindow, TheOutputPaneScrollsToTheArchiveJustAdded) {
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    QApplication::processEvents();
    OutputList& list = w.outFile()->list();
    for (int i = 0; i < 200; ++i)
        list.ListInAdd(QString("/out/A%1.LZH").arg(i));
    QApplication::processEvents();
    QListView* view = w.outFile()->lstOutFile;
    EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(list.index(199))));
}

TEST_F(MainWindow, AMinimisedPaneNeverCoversTheTargetListsButtons) {
    TestWindow& w = make();
    ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
    w.show();
    QApplication::processEvents();
    auto* inFolder = qobject_cast<QMdiSubWindow*>(w.inDir()->parentWidget());
    auto* inFiles = qobject_cast<QMdiSubWindow*>(w.inFile()->parentWidget());
    ASSERT_TRUE(inFolder && inFiles);
    inFolder->showMinimized();
    inFiles->showMinimized();
    QTest::qWait(50);
    QWidget* area = inFolder->parentWidget();
    for (QToolButton* button : {w.file()->btnDel, w.file()->btnDelAll}) {
        const QRect where(button->mapTo(area, QPoint(0, 0)), button->size());
        for (QMdiSubWindow* icon : {inFolder, inFiles})
            EXPECT_FALSE(icon->geometry().intersects(where)) << button->objectName().toStdString();
    }
}

TEST_F(MainWindow, AtItsSmallestTheWindowShowsEveryControlWithoutOverlap) {
    for (int points : {9, 16}) {
        settings(QString("Font_Name=IPAGothic\nFont_Size=%1\n").arg(points));
        TestWindow& w = make();
        ASSERT_EQ(w.MDIForm_Load(""), frmDravonel::kGoOn);
        w.resize(1, 1); // the window stops at its smallest
        w.show();
        QApplication::processEvents();
        const QList<QWidget*> panes{w.inDir(),  w.inFile(), w.file(),
                                    w.outDir(), w.status(), w.outFile()};
        for (QWidget* pane : panes) {
            const QList<QWidget*> controls =
                pane->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
            for (qsizetype i = 0; i < controls.size(); ++i) {
                const QRect g = controls[i]->geometry();
                if (controls[i]->isHidden())
                    continue;
                EXPECT_TRUE(pane->rect().contains(g))
                    << points << " " << controls[i]->metaObject()->className() << " in "
                    << pane->metaObject()->className();
                for (qsizetype j = 0; j < i; ++j) {
                    if (!controls[j]->isHidden()) {
                        EXPECT_FALSE(g.intersects(controls[j]->geometry()))
                            << points << " " << pane->metaObject()->className();
                    }
                }
            }
            // A list shows at least two lines.
            EXPECT_GE(pane->height(), 2 * pane->fontMetrics().lineSpacing()) << points;
        }
        // The panes lie side by side within their area, none over another.
        for (qsizetype i = 0; i < panes.size(); ++i) {
            const QWidget* frame = panes[i]->parentWidget();
            EXPECT_TRUE(frame->parentWidget()->rect().contains(frame->geometry()))
                << points << " " << panes[i]->metaObject()->className();
            for (qsizetype j = 0; j < i; ++j)
                EXPECT_FALSE(frame->geometry().intersects(panes[j]->parentWidget()->geometry()))
                    << points << " " << panes[i]->metaObject()->className();
        }
    }
}
