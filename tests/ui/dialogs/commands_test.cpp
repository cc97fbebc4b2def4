#include "basMkdir.h"
#include "dialog_fixture.h"
#include "frmAbout.h"
#include "frmDefault.h"
#include "frmMenuMente.h"
#include "frmOption.h"
#include "paths.h"
#include "settings.h"
#include "twips.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

struct NameCase {
    const char* name;
    const char* message; // nullptr: accepted
};

TEST(CheckFolderNameTest, TestsRunInOrderAndTheFirstFailureSpeaks) {
    const NameCase cases[] = {
        {"", "フォルダ名は入力されていません"},
        {"a/b", "フォルダ名には [\\] は使用できません"},
        {"/a", "フォルダ名には [\\] は使用できません"},
        {"a\\", "フォルダ名には [\\] は使用できません"},
        {"a/*?.", "フォルダ名には [\\] は使用できません"},
        {".a*?", "フォルダ名には [*] は使用できません"},
        {"a?.", "フォルダ名には [?] は使用できません"},
        {".abc", "フォルダ名の先頭と末尾には [.] は使用できません"},
        {"abc.", "フォルダ名の先頭と末尾には [.] は使用できません"},
        {"..", "フォルダ名の先頭と末尾には [.] は使用できません"},
        {" .abc", nullptr},
        {"abc/", nullptr},
        {"/", nullptr},
        {"a.b c", nullptr},
    };
    for (const NameCase& c : cases) {
        ScriptedPrompts prompts;
        const bool ok = CheckFolderName(QString::fromUtf8(c.name), prompts);
        EXPECT_EQ(ok, c.message == nullptr) << c.name;
        EXPECT_EQ(prompts.messages,
                  c.message ? QStringList{QString::fromUtf8(c.message)} : QStringList())
            << c.name;
    }
}

class MakeFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        parent = LongPath(temp.path());
        before = QDir::currentPath();
    }
    QString make(const QString& answer, const QString& in) {
        prompts.answers = QStringList{answer};
        const QString made = MakeFolder(in, prompts);
        EXPECT_EQ(QDir::currentPath(), before);
        return made;
    }

    QTemporaryDir temp;
    QString parent;
    QString before;
    ScriptedPrompts prompts;
};

TEST_F(MakeFolderTest, CreatesOneFolderAndRestoresTheCurrentFolder) {
    EXPECT_EQ(make("new", parent), parent + "/new");
    EXPECT_TRUE(QFileInfo(parent + "/new").isDir());
    EXPECT_EQ(prompts.prompts.value(0), "作成するフォルダ名を入力してください\r" + parent);
    EXPECT_EQ(prompts.titles.value(0), "フォルダ名入力");
    EXPECT_EQ(prompts.proposals.value(0), "");
    EXPECT_TRUE(prompts.messages.isEmpty());

    // One trailing separator is dropped; a parent ending in one is not doubled.
    EXPECT_EQ(make("second/", parent + "/"), parent + "/second");
    // Blanks around the name go; a leading blank let a dot through the tests.
    EXPECT_EQ(make(" .abc ", parent), parent + "/.abc");
    EXPECT_TRUE(QFileInfo(parent + "/.abc").isDir());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(MakeFolderTest, RefusalsAndFailuresCreateNothing) {
    EXPECT_EQ(make("", parent), ""); // Cancel: no message
    EXPECT_TRUE(prompts.messages.isEmpty());

    EXPECT_EQ(make("a/b", parent), "");
    EXPECT_EQ(prompts.messages.value(0), "フォルダ名には [\\] は使用できません");

    ASSERT_TRUE(QDir(parent).mkdir("exists"));
    EXPECT_EQ(make("exists", parent), "");
    EXPECT_EQ(prompts.messages.value(1), "フォルダは作成できませんでした");

    // Only a separator: the tests pass, the name becomes empty, the parent exists.
    EXPECT_EQ(make("/", parent), "");
    EXPECT_EQ(prompts.messages.value(2), "フォルダは作成できませんでした");

    EXPECT_EQ(make("deep", parent + "/missing"), "");
    EXPECT_EQ(make("x", QString()), "");
    EXPECT_EQ(prompts.messages.size(), 5);
    EXPECT_EQ(QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"exists"});
}

TEST_F(MakeFolderTest, TheCommandMovesTheOutputPaneIntoTheNewFolder) {
    RecordingHost host;
    host.output = parent;
    prompts.answers = QStringList{"made"};
    mnuMkdir_Click(host, prompts);
    EXPECT_EQ(host.outputSet, QStringList{parent + "/made"});
    EXPECT_EQ(host.inputRefreshes, 1);

    prompts.answers = QStringList{"made"};
    mnuMkdir_Click(host, prompts);
    EXPECT_EQ(host.outputSet.size(), 1);
    EXPECT_EQ(host.inputRefreshes, 1);
    EXPECT_EQ(QDir::currentPath(), before);
}

class AboutTest : public ::testing::Test, public ProgramFixture {
protected:
    QStringList rows(frmAbout& about) {
        QStringList out;
        for (int i = 0; i < 3; ++i)
            out << about.lblProg[i]->text() + " " + about.lblVer[i]->text();
        return out;
    }
};

TEST(FormatVersionTest, HundredthsWithTwoDecimals) {
    EXPECT_EQ(FormatVersion(100), "1.00");
    EXPECT_EQ(FormatVersion(185), "1.85");
    EXPECT_EQ(FormatVersion(540), "5.40");
    EXPECT_EQ(FormatVersion(7), "0.07");
    EXPECT_EQ(FormatVersion(0), "0.00");
}

TEST_F(AboutTest, RowsInTheOrderLhaExtractorZip) {
    libraries.LhaVersion = 185;
    libraries.UnZipVersion = 540;
    libraries.ZipVersion = 7;
    frmAbout about(program);
    about.Form_Load();
    EXPECT_EQ(rows(about),
              (QStringList{"UNLHA32.DLL Ver.1.85", "UNZIP32.DLL Ver.5.40", "ZIP32J.DLL Ver.0.07"}));
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.lblAboutProgName->text(), "Dravonel2 for Win32");
    EXPECT_EQ(about.lblAboutTitle->text(), "ファイル連続圧縮プログラム２");
    EXPECT_EQ(about.lblAboutVersion->text(), "Ver.1.02");
    EXPECT_EQ(about.btnOK->text(), "Ok");
    EXPECT_FALSE(about.imgAbout->pixmap().isNull());

    // The rows keep the state of the start.
    libraries.ZipAvailable = false;
    about.show();
    about.btnOK->click();
    EXPECT_FALSE(about.isVisible());
    about.show();
    EXPECT_EQ(rows(about).value(2), "ZIP32J.DLL Ver.0.07");
}

TEST_F(AboutTest, WithoutZipModulesOnlyTheLhaRow) {
    libraries.ZipAvailable = false;
    libraries.LhaVersion = 100;
    libraries.UnZipVersion = 540;
    frmAbout about(program);
    about.Form_Load();
    EXPECT_EQ(rows(about), (QStringList{"UNLHA32.DLL Ver.1.00", " ", " "}));
}

class PositionTest : public ::testing::Test, public ProgramFixture {};

TEST_F(PositionTest, StoredPositionsOffTheScreenBecome1000Twips) {
    store.setCurrent("Option_Left", "99999");
    store.setCurrent("Option_Top", "-1");
    store.setCurrent("MenuMente_Left", "-5");
    store.setCurrent("MenuMente_Top", "1500");
    store.setCurrent("Default_Left", "-1");
    store.setCurrent("Default_Top", "999999");
    store.setCurrent("Default_Width", "6000");
    store.setCurrent("About_Left", "600");
    store.setCurrent("About_Top", "-1");
    // A legacy position of this dialog only: read from there.
    store.write("Dravonel2", "Dravonel2", "About_Left", "99999");

    frmOption option(program, host);
    option.Form_Load();
    EXPECT_EQ(option.pos(), QPoint(toPixels(1000), toPixels(1000)));
    frmMenuMente mente(program);
    mente.Form_Load();
    EXPECT_EQ(mente.pos(), QPoint(toPixels(1000), toPixels(1500)));
    frmDefault defaults(program, host);
    defaults.Form_Load();
    EXPECT_EQ(defaults.pos(), QPoint(toPixels(1000), toPixels(1000)));
    EXPECT_EQ(defaults.size(), toPixels(6000, 5000));
    frmAbout about(program);
    about.Form_Load();
    EXPECT_EQ(about.pos(), QPoint(toPixels(1000), toPixels(1000)));

    // Written back to the current store at unload.
    option.move(toPixels(2400), toPixels(3000));
    option.Form_QueryUnload();
    EXPECT_EQ(store.current("Option_Left"), "2400");
    EXPECT_EQ(store.current("Option_Top"), "3000");
    about.Form_QueryUnload();
    EXPECT_EQ(store.current("About_Left"), singleText(float(toTwips(toPixels(1000)))));
    defaults.Form_QueryUnload();
    EXPECT_EQ(store.current("Default_Width"), "6000");
}

} // namespace
