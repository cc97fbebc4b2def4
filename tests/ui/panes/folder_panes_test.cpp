#include "folder_list.h"
#include "frmMenuMente.h"
#include "messages.h"
#include "pane_fixture.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/statvfs.h>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

class FolderPaneTest : public ::testing::Test, public PaneFixture {
protected:
    void SetUp() override { makeWindow(); }

    mdiDir& in() { return *main->inDir(); }
    mdiDir& out() { return *main->outDir(); }

    QStringList visibleAliases(mdiDir& pane) {
        QStringList names;
        for (QAction* item : pane.mnuAddDir)
            if (item->isVisible())
                names << item->iconText(); // as the menu shows it
        return names;
    }
    void expectStateRule(mdiDir& pane) {
        const int last = pane.aliasLast();
        for (int i = 0; i < mdiDir::kAliases; ++i)
            EXPECT_EQ(pane.mnuAddDir[size_t(i)]->isVisible(), i <= last) << i;
        EXPECT_EQ(pane.mnuBar->isVisible(), last >= 0);
        EXPECT_EQ(pane.mnuMente->isEnabled(), last >= 0);
        EXPECT_EQ(pane.mnuAdd->isEnabled(), last < 9);
    }
};

TEST_F(FolderPaneTest, FirstStartOpensTheCurrentFolderWithoutAliases) {
    in().Form_Load();
    out().Form_Load();
    EXPECT_EQ(in().DirName(), LongPath(QDir::currentPath()));
    EXPECT_EQ(in().windowTitle(), "ファイル格納フォルダ");
    EXPECT_TRUE(out().windowTitle().startsWith("圧縮ファイル格納フォルダ"));
    EXPECT_EQ(in().mnuCopy->text(), "圧縮ファイル格納フォルダを同一");
    EXPECT_EQ(out().mnuCopy->text(), "ファイル格納フォルダを同一");
    EXPECT_EQ(in().aliasLast(), -1);
    expectStateRule(in());
}

TEST_F(FolderPaneTest, StoredFoldersFollowTheDefaultFlag) {
    const QString def = folder("default"), last = folder("last");
    store.setCurrent("Dir_In", def);
    store.setCurrent("OldDir_In", last);
    store.setCurrent("Dir_Out", tmp.filePath("gone"));
    in().Form_Load();
    out().Form_Load();
    EXPECT_EQ(in().DirName(), LongPath(def));
    // The input folder reaches the input-file pane.
    EXPECT_EQ(main->inFile()->DirName(), LongPath(def));
    // A default that no longer exists gives the current folder, silently.
    EXPECT_EQ(out().DirName(), LongPath(QDir::currentPath()));
    EXPECT_TRUE(prompts.messages.isEmpty());

    store.setCurrent("Dir_In_Yuko", "False");
    in().Form_Load();
    EXPECT_EQ(in().DirName(), LongPath(last));
}

TEST_F(FolderPaneTest, DirNameFallsBackAndShowsTheShortForm) {
    out().Form_Load();
    const QString deep = folder("a/b/c/d");
    out().setDirName(deep);
    EXPECT_EQ(out().DirName(), LongPath(deep));
    EXPECT_EQ(out().txtDir->text(), ShortPath(LongPath(deep)));
    out().setDirName(tmp.filePath("missing"));
    EXPECT_EQ(out().DirName(), LongPath(QDir::currentPath()));
    out().setDirName(QString());
    EXPECT_EQ(out().DirName(), LongPath(QDir::currentPath()));
}

TEST_F(FolderPaneTest, FoldersAreFoundAsTheKernelFindsThem) {
    in().Form_Load();
    out().Form_Load();
    // proj/build is a link to ../scratch/build; only "shared" exists.
    const QString scratch = folder("scratch/build").chopped(6), proj = folder("proj");
    const QString shared = folder("shared");
    ASSERT_TRUE(QFile::link("../scratch/build", proj + "/build"));
    in().setDirName(proj + "/build/..");
    EXPECT_EQ(in().DirName(), LongPath(scratch));
    EXPECT_EQ(main->inFile()->DirName(), LongPath(scratch));
    main->inFile()->setDirName(proj + "/build/..");
    EXPECT_EQ(main->inFile()->DirName(), LongPath(scratch));
    out().setDirName(tmp.filePath("SHARED"));
    EXPECT_EQ(out().DirName(), LongPath(QDir::currentPath())) << "another folder, missing";
    main->inFile()->setDirName(tmp.filePath("Shared"));
    EXPECT_EQ(main->inFile()->DirName(), LongPath(QDir::currentPath()));
    out().setDirName(shared);
    EXPECT_EQ(out().DirName(), LongPath(shared));
}

TEST_F(FolderPaneTest, OutputCaptionMeasuresTheFolderItsOwnFileSystem) {
    // /dev/shm is a file system of its own that the drive list leaves out.
    QTemporaryDir shm("/dev/shm/dravonel2-test-XXXXXX");
    struct statvfs there, root;
    if (!shm.isValid() || ::statvfs(QFile::encodeName(shm.path()), &there) != 0 ||
        ::statvfs("/", &root) != 0 || there.f_fsid == root.f_fsid)
        GTEST_SKIP() << "no second file system at /dev/shm";
    out().Form_Load();
    out().setDirName(shm.path());
    ASSERT_EQ(out().DirName(), LongPath(shm.path()));
    EXPECT_EQ(out().windowTitle(), "圧縮ファイル格納フォルダ" + FreeSpaceText(shm.path()));
}

TEST_F(FolderPaneTest, BackspaceOpensTheParentAndEnterTheHighlightedSubfolder) {
    in().Form_Load();
    const QString child = folder("p/child");
    in().setDirName(child);
    in().dlbDir->setListIndex(-1);
    QTest::keyClick(in().dlbDir, Qt::Key_Backspace);
    EXPECT_EQ(in().DirName(), LongPath(tmp.filePath("p")));
    EXPECT_EQ(main->inFile()->DirName(), LongPath(tmp.filePath("p")));
    in().dlbDir->setListIndex(0);
    QTest::keyClick(in().dlbDir, Qt::Key_Return);
    EXPECT_EQ(in().DirName(), LongPath(child));
}

TEST_F(FolderPaneTest, CopyHandsTheFolderToTheOtherPane) {
    in().Form_Load();
    out().Form_Load();
    const QString f = folder("shared");
    in().setDirName(f);
    in().mnuCopy->trigger();
    EXPECT_EQ(out().DirName(), LongPath(f));
}

TEST_F(FolderPaneTest, AddingAliasesFollowsTheStateRule) {
    in().Form_Load();
    const QString f = folder("a/b/c/d");
    in().setDirName(f);
    prompts.answers = {"one"};
    in().mnuAdd->trigger();
    EXPECT_EQ(prompts.titles.last(), "フォルダエリアス名入力");
    EXPECT_EQ(prompts.prompts.last(), "フォルダエリアス名を入力してください\r" + in().DirName());
    EXPECT_EQ(prompts.proposals.last(), ShortPath(in().DirName()));
    EXPECT_EQ(visibleAliases(in()), QStringList{"one"});
    expectStateRule(in());

    // Cancel, a duplicate, and a name differing only in letter case.
    prompts.answers = {"", "one", "ONE"};
    in().mnuAdd->trigger();
    in().mnuAdd->trigger();
    EXPECT_EQ(prompts.messages, QStringList{"同一のフォルダエリアス名は追加できません"});
    in().mnuAdd->trigger();
    EXPECT_EQ(visibleAliases(in()), (QStringList{"one", "ONE"}));
    // An ampersand is part of the name, not the mark of the menu's key.
    prompts.answers = {"R&D"};
    in().mnuAdd->trigger();
    EXPECT_EQ(visibleAliases(in()).last(), "R&D");

    for (int i = 3; i < 10; ++i)
        prompts.answers << QString::number(i);
    for (int i = 3; i < 10; ++i)
        in().mnuAdd->trigger();
    EXPECT_EQ(in().aliasLast(), 9);
    expectStateRule(in());
    EXPECT_FALSE(in().mnuAdd->isEnabled());

    // Going to an alias opens its folder; a vanished one the current folder.
    in().setDirName(QDir::currentPath());
    in().mnuAddDir[0]->trigger();
    EXPECT_EQ(in().DirName(), LongPath(f));
    QDir(tmp.filePath("a/b/c/d")).removeRecursively();
    in().mnuAddDir[0]->trigger();
    EXPECT_EQ(in().DirName(), LongPath(QDir::currentPath()));
}

TEST_F(FolderPaneTest, MaintenanceTakesTheDialogResultOnlyAfterOk) {
    store.setCurrent("Dir_Out_DirName0", "x");
    store.setCurrent("Dir_Out_DirDir0", "/x");
    store.setCurrent("Dir_Out_DirName1", "y");
    store.setCurrent("Dir_Out_DirDir1", "/y");
    frmMenuMente dialog(program);
    dialog.Form_Load();
    out().setAliasDialog(&dialog);
    out().Form_Load();

    QTimer::singleShot(0, &dialog, [&] {
        dialog.btnDel->click();
        dialog.btnCancel->click();
    });
    out().mnuMente->trigger();
    EXPECT_EQ(dialog.windowTitle(), "圧縮ファイル格納フォルダのエリアスメンテナンス");
    EXPECT_EQ(visibleAliases(out()), (QStringList{"x", "y"}));

    QTimer::singleShot(0, &dialog, [&] {
        dialog.lbxMenu->setCurrentRow(0);
        dialog.btnDel->click();
        dialog.btnOk->click();
    });
    out().mnuMente->trigger();
    EXPECT_EQ(visibleAliases(out()), QStringList{"y"});
    EXPECT_EQ(out().aliasFolder(0), "/y");
    expectStateRule(out());

    QTimer::singleShot(0, &dialog, [&] {
        dialog.btnDelAll->click();
        dialog.btnOk->click();
    });
    out().mnuMente->trigger();
    EXPECT_EQ(out().aliasLast(), -1);
    expectStateRule(out());
}

TEST_F(FolderPaneTest, AliasesEndAtTheFirstGapAndExitWritesAllTwentyKeys) {
    for (int i : {0, 1, 3}) {
        store.setCurrent(QString("Dir_In_DirName%1").arg(i), QString("n%1").arg(i));
        store.setCurrent(QString("Dir_In_DirDir%1").arg(i), QString("/d%1").arg(i));
    }
    const QString f = folder("exit");
    store.setCurrent("Dir_In", f);
    in().Form_Load();
    EXPECT_EQ(visibleAliases(in()), (QStringList{"n0", "n1"}));
    expectStateRule(in());

    main->session().folderDefault(Session::Folder::In).inForce = false;
    in().Form_QueryUnload();
    EXPECT_EQ(store.current("Dir_In_DirName0"), "n0");
    EXPECT_EQ(store.current("Dir_In_DirDir1"), "/d1");
    int keys = 0;
    for (int i = 0; i < 10; ++i) {
        for (const char* stem : {"Dir_In_DirName", "Dir_In_DirDir"}) {
            const QString value = store.read("Korvath's Soft", "Dravonel2",
                                             QString(stem) + QString::number(i), "<absent>");
            ASSERT_NE(value, "<absent>") << stem << i;
            ++keys;
            if (i >= 2) {
                EXPECT_EQ(value, "") << stem << i;
            }
        }
    }
    EXPECT_EQ(keys, 20);
    EXPECT_EQ(store.current("Dir_In_Yuko"), "False");
    EXPECT_EQ(store.current("OldDir_In"), LongPath(f));
    EXPECT_EQ(store.current("Dir_In"), f);
}

} // namespace
