#include "command_line.h"
#include "drive_list.h"
#include "folder_list.h"
#include "mdiStatus.h"
#include "messages.h"
#include "pane_fixture.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSysInfo>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <sys/stat.h>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

class FilePaneTest : public ::testing::Test, public PaneFixture {
protected:
    void SetUp() override {
        makeWindow();
        main->inFile()->Form_Load();
        main->file()->Form_Load();
        main->outFile()->Form_Load();
    }

    mdiInFile& inFile() { return *main->inFile(); }
    mdiFile& file() { return *main->file(); }
    mdiOutFile& outFile() { return *main->outFile(); }
    TargetList& targets() { return file().list(); }

    QStringList listed() {
        QStringList names;
        for (int i = 0; i < inFile().filFile->count(); ++i)
            names << inFile().filFile->item(i)->text();
        return names;
    }
    QStringList selected() {
        QStringList names;
        for (int i = 0; i < inFile().filFile->count(); ++i)
            if (inFile().filFile->item(i)->isSelected())
                names << inFile().filFile->item(i)->text();
        return names;
    }
    QString longOf(const QString& relative) { return LongPath(tmp.filePath(relative)); }
};

TEST(FilterRule, PatternsAndRejectedFilters) {
    QTemporaryDir tmp;
    for (const char* name : {"a.txt", "B.TXT", "c.doc", "noext", ".hidden.txt"}) {
        QFile f(tmp.filePath(name));
        f.open(QIODevice::WriteOnly);
    }
    QDir().mkpath(tmp.filePath("sub.txt"));
    EXPECT_EQ(listFiles(tmp.path(), "*.*", false),
              (QStringList{"B.TXT", "a.txt", "c.doc", "noext"}));
    EXPECT_EQ(listFiles(tmp.path(), "*.txt", false), (QStringList{"B.TXT", "a.txt"}));
    EXPECT_EQ(listFiles(tmp.path(), "*.txt", true), (QStringList{".hidden.txt", "B.TXT", "a.txt"}));
    EXPECT_EQ(listFiles(tmp.path(), "?.doc; noext", false), (QStringList{"c.doc", "noext"}));
    EXPECT_EQ(listFiles(tmp.path(), "noext.*", false), QStringList{"noext"});
    EXPECT_EQ(listFiles(tmp.path(), "a+(.txt", false), QStringList{});
    for (const char* bad : {"sub/*.txt", "/", " ; ", "a\tb"})
        EXPECT_FALSE(filterValid(bad)) << bad;
    EXPECT_TRUE(filterValid("*.lzh;*.zip"));
}

TEST(FilterRule, ManyStarsStillFindEveryMatch) {
    // A backtracking matcher gives up on such a pair and leaves the file out.
    QTemporaryDir tmp;
    const QString hard = QString(12, 'a') + "b" + QString(60, 'a') + "c";
    for (const QString& name : {hard, QString("Ärger.TXT"), QString("x.txt")}) {
        QFile f(tmp.filePath(name));
        f.open(QIODevice::WriteOnly);
    }
    EXPECT_EQ(listFiles(tmp.path(), "*a*a*a*a*a*a*a*a*a*a*a*a*b*c", false), QStringList{hard});
    EXPECT_EQ(listFiles(tmp.path(), "ä*.t?t; ?.*", false), (QStringList{"x.txt", "Ärger.TXT"}));
}

TEST(FilterRule, OnlyRegularFilesAreListedWhereverTheirLinksLead) {
    QTemporaryDir tmp;
    QFile f(tmp.filePath("plain.txt"));
    f.open(QIODevice::WriteOnly);
    ASSERT_EQ(::mkfifo(QFile::encodeName(tmp.filePath("pipe")).constData(), 0600), 0);
    QFile::link(tmp.filePath("plain.txt"), tmp.filePath("to-plain"));
    QFile::link(tmp.filePath("pipe"), tmp.filePath("to-pipe"));
    QFile::link("/dev/zero", tmp.filePath("to-zero"));
    QFile::link(tmp.filePath("missing"), tmp.filePath("dangling"));
    EXPECT_EQ(listFiles(tmp.path(), "*.*", true), (QStringList{"plain.txt", "to-plain"}));
}

TEST_F(FilePaneTest, FilterCommandSetsTheCaptionAndResetsARejectedFilter) {
    touch("in/a.txt");
    touch("in/b.doc");
    inFile().setDirName(tmp.filePath("in"));
    EXPECT_EQ(inFile().mnuFilter->text(), "Filterの設定(*.*)");

    prompts.answers = {"*.txt"};
    inFile().mnuFilter->trigger();
    EXPECT_EQ(prompts.titles.last(), "フィルター");
    EXPECT_EQ(prompts.prompts.last(), "フィルターを入力してください。\r*.*");
    EXPECT_EQ(options.Filter, "*.txt");
    EXPECT_EQ(inFile().mnuFilter->text(), "Filterの設定(*.txt)");
    EXPECT_EQ(listed(), QStringList{"a.txt"});

    prompts.answers = {""};
    inFile().mnuFilter->trigger();
    EXPECT_EQ(options.Filter, "*.txt");

    prompts.answers = {"in/*.txt"};
    inFile().mnuFilter->trigger();
    EXPECT_EQ(prompts.messages, QStringList{resDravonel(2200)});
    EXPECT_EQ(options.Filter, "*.*");
    EXPECT_EQ(inFile().mnuFilter->text(), "Filterの設定(*.*)");
    EXPECT_EQ(listed(), (QStringList{"a.txt", "b.doc"}));
}

TEST_F(FilePaneTest, DirNameOfAMissingFolderShowsTheCurrentFolder) {
    inFile().setDirName(tmp.filePath("nowhere"));
    EXPECT_EQ(inFile().DirName(), LongPath(QDir::currentPath()));
}

TEST_F(FilePaneTest, AddAllAllTakesImmediateSubfoldersAndNeverHiddenFiles) {
    touch("top/a.txt");
    touch("top/.secret");
    touch("top/sub/b.txt");
    touch("top/sub/deeper/c.txt");
    touch("top/.hid/d.txt");
    options.Hiddn = true;
    inFile().Pattern_Make();
    inFile().setDirName(tmp.filePath("top"));
    EXPECT_EQ(listed(), (QStringList{".secret", "a.txt"}));
    inFile().btnAddAllAll->click();
    EXPECT_EQ(targets().entries(), (QStringList{longOf("top/a.txt"), longOf("top/sub/b.txt")}));

    // btnAddAll follows the hidden-file option.
    inFile().btnAddAll->click();
    EXPECT_EQ(targets().entries().last(), longOf("top/.secret"));
    EXPECT_TRUE(selected().isEmpty());
    // The mode buttons follow the list.
    EXPECT_TRUE(main->exeButton(0)->isEnabled());
}

TEST_F(FilePaneTest, AFileReachedAgainThroughALinkIsListedOnce) {
    // "loop" leads back to the folder, "sub2" to "sub"; "alias.txt" is a
    // second name of a.txt, which an archive holds as a file of its own.
    const QString a = touch("top/a.txt"), b = touch("top/sub/b.txt");
    QFile::link(".", tmp.filePath("top/loop"));
    QFile::link("sub", tmp.filePath("top/sub2"));
    QFile::link("a.txt", tmp.filePath("top/alias.txt"));
    inFile().setDirName(tmp.filePath("top"));
    inFile().btnAddAllAll->click();
    EXPECT_EQ(targets().entries(),
              (QStringList{LongPath(a), longOf("top/alias.txt"), LongPath(b)}));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(tmp.filePath("top/sub2/b.txt"))});
    file().dropFiles(data);
    EXPECT_EQ(targets().count(), 3);
    // Named again (a command line, a job), it counts as taken, not as left out.
    QStringList left;
    addCommandLineItem(tmp.filePath("top/loop/a.txt"), main->session(), limit, &left);
    EXPECT_EQ(targets().count(), 3);
    EXPECT_TRUE(left.isEmpty());
}

TEST_F(FilePaneTest, AddSelectedStopsAtAFullListLeavingTheRestSelected) {
    for (int i = 0; i < 999; ++i)
        ASSERT_TRUE(targets().ListInAdd(QString("/list/%1").arg(i)));
    touch("in/1.txt");
    touch("in/2.txt");
    touch("in/3.txt");
    touch("in/4.txt");
    inFile().setDirName(tmp.filePath("in"));
    for (int i : {0, 1, 3})
        inFile().filFile->item(i)->setSelected(true);
    inFile().btnAdd->click();
    EXPECT_EQ(targets().count(), 1000);
    EXPECT_EQ(targets().entries().last(), longOf("in/1.txt"));
    EXPECT_EQ(limit.messages, QStringList{resDravonel(3100)});
    EXPECT_EQ(selected(), (QStringList{"2.txt", "4.txt"}));
}

TEST_F(FilePaneTest, RemoveSelectedKeepsTheUnmarkedEntriesInOrder) {
    for (const char* p : {"/e0", "/e1", "/e2", "/e3", "/e4"})
        targets().ListInAdd(p);
    for (int i : {0, 1, 3})
        targets().setMarked(i, true);
    file().btnDel->click();
    EXPECT_EQ(targets().entries(), (QStringList{"/e2", "/e4"}));
    file().btnDelAll->click();
    EXPECT_EQ(targets().count(), 0);
    EXPECT_FALSE(main->exeButton(0)->isEnabled());
}

TEST_F(FilePaneTest, FolderItemsTakeTheFolderOfTheFirstMarkedEntry) {
    main->inDir()->Form_Load();
    main->outDir()->Form_Load();
    const QString start = main->inDir()->DirName();
    file().mnuInCopy->trigger(); // nothing marked: nothing happens
    EXPECT_EQ(main->inDir()->DirName(), start);

    targets().ListInAdd("/report.txt");
    targets().ListInAdd(touch("x/y/c.txt"));
    targets().setMarked(0, true);
    file().mnuInCopy->trigger();
    EXPECT_EQ(main->inDir()->DirName(), "/");
    targets().SelectClear();
    targets().setMarked(1, true);
    file().mnuOutCopy->trigger();
    EXPECT_EQ(main->outDir()->DirName(), longOf("x/y"));
}

TEST_F(FilePaneTest, DropOf1200FilesAddsTheFirstThousandWithOneMessage) {
    QList<QUrl> urls;
    for (int i = 0; i < 1200; ++i)
        urls << QUrl::fromLocalFile(touch(QString("drop/f%1").arg(i, 4, 10, QChar('0'))));
    urls.prepend(QUrl::fromLocalFile(tmp.filePath("drop"))); // a folder: ignored
    urls.prepend(QUrl("https://example.org/x"));             // not a file: ignored
    QMimeData data;
    data.setUrls(urls);
    file().dropFiles(data);
    ASSERT_EQ(targets().count(), 1000);
    EXPECT_EQ(targets().entry(0), longOf("drop/f0000"));
    EXPECT_EQ(targets().entry(999), longOf("drop/f0999"));
    EXPECT_EQ(limit.messages.size(), 1);
    EXPECT_TRUE(main->exeButton(0)->isEnabled());
}

TEST_F(FilePaneTest, DropOfANameThatIsNotUtf8TakesNoOtherFile) {
    // Names the byte 0xFF of the dropped name could be taken for.
    touch(QStringLiteral("u/b\uFFFD.txt"));
    touch("u/b%FF.txt");
    QMimeData data;
    data.setUrls({QUrl(QUrl::fromLocalFile(tmp.filePath("u")).toString() + "/b%FF.txt")});
    file().dropFiles(data);
    EXPECT_EQ(targets().count(), 0);
}

TEST_F(FilePaneTest, ADroppedFileUrlNamingThisMachineTakesItsFileAndNoOtherHostsFile) {
    // "file://localhost/p" and "file://<this host>/p" name the local file p;
    // a URL of another host names no file here (the kernel would take
    // "//elsewhere/etc/hosts" for the local "/elsewhere/etc/hosts").
    const QString here = touch("h/here.txt"), mine = touch("h/mine.txt");
    QMimeData data;
    data.setUrls(
        {QUrl("file://localhost" + here), QUrl("file://" + QSysInfo::machineHostName() + mine)});
    file().dropFiles(data);
    EXPECT_EQ(targets().entries(), (QStringList{LongPath(here), LongPath(mine)}));
    EXPECT_EQ(LocalFileOf(QUrl("file://elsewhere/etc/hosts")), "");
}

TEST_F(FilePaneTest, ADropIsAlwaysACopySoNoSourceDeletesItsFiles) {
    // A source told "moved" may delete the files it offered; the list only
    // names them. Shift proposes a move; a source may offer nothing else.
    QWidget* viewport = file().lstFile->viewport();
    for (Qt::DropActions offered :
         {Qt::CopyAction | Qt::MoveAction, Qt::DropActions(Qt::MoveAction)}) {
        const bool copyOffered = offered.testFlag(Qt::CopyAction);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(touch(copyOffered ? "d/copy.txt" : "d/move.txt"))});
        QDragEnterEvent enter(QPoint(5, 5), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        EXPECT_EQ(enter.isAccepted(), copyOffered);
        QDropEvent drop(QPointF(5, 5), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        EXPECT_EQ(drop.isAccepted(), copyOffered);
        if (copyOffered) {
            EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
            EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
        }
    }
    EXPECT_EQ(targets().entries(), QStringList{longOf("d/copy.txt")});
}

TEST_F(FilePaneTest, DragOutSuppliesTheMarkedArchivesWhenAsked) {
    OutputList& list = outFile().list();
    for (const char* p : {"/out/a.lzh", "/out/b.lzh", "/out/c zip.zip"})
        list.ListInAdd(p);
    ArchiveDragData data(list);
    EXPECT_EQ(data.formats(), QStringList{"text/uri-list"});
    EXPECT_TRUE(data.urls().isEmpty());
    // The data is formed when asked, from the marks at that moment.
    list.setMarked(2, true);
    list.setMarked(0, true);
    EXPECT_EQ(data.urls(), (QList<QUrl>{QUrl::fromLocalFile("/out/a.lzh"),
                                        QUrl::fromLocalFile("/out/c zip.zip")}));
    EXPECT_EQ(data.data("text/uri-list"), "file:///out/a.lzh\r\nfile:///out/c%20zip.zip\r\n");
}

TEST_F(FilePaneTest, OutputRefreshDropsVanishedArchivesAndEmptyKeepsFiles) {
    OutputList& list = outFile().list();
    const QString a = touch("out/A.lzh"), b = touch("out/B.lzh"), c = touch("out/C.lzh");
    for (const QString& p : {a, b, c})
        list.ListInAdd(p);
    list.ListInAdd(tmp.filePath("out/./C.lzh")); // same file, other spelling
    QFile::remove(b);
    outFile().mnuRefresh->trigger();
    EXPECT_EQ(list.entries(), (QStringList{LongPath(a), LongPath(c)}));
    outFile().mnuDel->trigger();
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(QFile::exists(a));
}

TEST_F(FilePaneTest, CaptionsOfTheFilePanes) {
    EXPECT_EQ(inFile().windowTitle(), "ファイル名");
    EXPECT_EQ(file().windowTitle(), "圧縮対象ファイル");
    EXPECT_EQ(outFile().windowTitle(), "圧縮後のファイル名");
    EXPECT_EQ(file().mnuInCopy->text(), "ファイル格納フォルダを同一");
    EXPECT_EQ(outFile().mnuDel->text(), "初期化");
    EXPECT_EQ(inFile().btnAddAllAll->toolTip(), resDravonel(2004));
}

} // namespace

namespace {

TEST_F(FilePaneTest, EnterWalksFromTheFilesToTheTargetListAndOnToTheOutputFolder) {
    main->outDir()->Form_Load();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    QApplication::setActiveWindow(main.get());
    touch("in/a.txt");
    inFile().setDirName(tmp.filePath("in"));
    inFile().filFile->setFocus();
    QTest::keyClick(inFile().filFile, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(file().lstFile));
    EXPECT_EQ(targets().count(), 0); // the key itself adds nothing
    QTest::keyClick(file().lstFile, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(main->outDir()->drvDrive));
    QTest::keyClick(main->outDir()->drvDrive, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(main->outDir()->dlbDir));
}

} // namespace

namespace {

TEST_F(FilePaneTest, LongLogLinesScrollSidewaysAndTheOpenFolderStaysInView) {
    mdiStatus& status = *main->status();
    status.Form_Load();
    main->inDir()->Form_Load();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    const QString longLine = "[ /" + QString("長いフォルダ名/").repeated(30) + "report.txt ]";
    status.ListInAdd(longLine);
    status.ListInAdd("全て終了しました");
    QCoreApplication::processEvents();
    const int needed = status.lstKekka->fontMetrics().horizontalAdvance(longLine);
    EXPECT_GE(status.lstKekka->visualRect(status.log().index(0, 0)).width(), needed);
    EXPECT_GT(status.lstKekka->horizontalScrollBar()->maximum(), 0);

    FolderList* list = main->inDir()->dlbDir;
    main->inDir()->setDirName(folder("a/b/c/d/e/f/g/h"));
    main->inDir()->frame()->resize(main->inDir()->frame()->width(), 110);
    QCoreApplication::processEvents();
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualItemRect(list->currentItem())));
}

} // namespace
