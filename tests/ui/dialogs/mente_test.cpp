#include "dialog_fixture.h"
#include "frmMenuMente.h"
#include "messages.h"
#include "paths.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <array>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

class MenteTest : public ::testing::Test, public ProgramFixture {
protected:
    void SetUp() override {
        dialog.setPrompts(prompts);
        dialog.Form_Load();
    }

    // A pane's alias table handed to the dialog, as the folder panes do.
    void hand(int last) {
        for (int i = 0; i <= last; ++i)
            dialog.Set_Menu(i, names[i], dirs[i]);
        for (int i = last + 1; i < 10; ++i)
            dialog.Set_Menu(i, "", "");
        dialog.pstr_Me_Caption = resDravonel(1000);
    }

    QStringList listed() const {
        QStringList out;
        for (int i = 0; i < dialog.lbxMenu->count(); ++i)
            out.append(dialog.lbxMenu->item(i)->text());
        return out;
    }

    std::array<QString, 10> names{"a", "b", "c"};
    std::array<QString, 10> dirs{"/x/1/2/3/4", "/y", "/z/9"};
    ScriptedPrompts prompts;
    frmMenuMente dialog{program};
};

TEST_F(MenteTest, ShowingListsTheAliasesAndSelectsTheFirst) {
    hand(2);
    dialog.Set_Menu(4, "late", "/late"); // after a gap: not listed
    dialog.Set_Menu(10, "bad", "/bad");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "ファイル格納フォルダのエリアスメンテナンス");
    EXPECT_EQ(listed(), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(dialog.lbxMenu->currentRow(), 0);
    EXPECT_EQ(dialog.txtDir->text(), ShortPath("/x/1/2/3/4"));
    EXPECT_EQ(dialog.MenuCount(), 2);
    EXPECT_FALSE(dialog.pblnOk);

    QString name, dir;
    dialog.Get_Menu(3, name, dir);
    EXPECT_TRUE(name.isEmpty() && dir.isEmpty());
    dialog.Get_Menu(-1, name, dir);
    EXPECT_TRUE(name.isEmpty());
    dialog.Get_Menu(1, name, dir);
    EXPECT_EQ(name, "b");
    EXPECT_EQ(dir, "/y");
}

TEST_F(MenteTest, MovingKeepsNameAndFolderTogether) {
    hand(2);
    dialog.show();
    dialog.btnUp->click(); // first entry: nothing
    EXPECT_EQ(listed(), (QStringList{"a", "b", "c"}));
    dialog.btnDown->click();
    EXPECT_EQ(listed(), (QStringList{"b", "a", "c"}));
    EXPECT_EQ(dialog.lbxMenu->currentRow(), 1);
    EXPECT_EQ(dialog.txtDir->text(), ShortPath("/x/1/2/3/4"));
    dialog.lbxMenu->setCurrentRow(2);
    EXPECT_EQ(dialog.txtDir->text(), "/z/9");
    dialog.btnDown->click(); // last entry: nothing
    dialog.btnUp->click();
    EXPECT_EQ(listed(), (QStringList{"b", "c", "a"}));
    QString name, dir;
    dialog.Get_Menu(1, name, dir);
    EXPECT_EQ(name, "c");
    EXPECT_EQ(dir, "/z/9");
}

TEST_F(MenteTest, DeletingTheLastSelectsTheNewLastAndTheOnlyOneDisablesAll) {
    hand(2);
    dialog.show();
    dialog.lbxMenu->setCurrentRow(2);
    dialog.btnDel->click();
    EXPECT_EQ(listed(), (QStringList{"a", "b"}));
    EXPECT_EQ(dialog.lbxMenu->currentRow(), 1);
    EXPECT_EQ(dialog.txtDir->text(), "/y");

    dialog.lbxMenu->setCurrentRow(0);
    dialog.btnDel->click();
    EXPECT_EQ(listed(), QStringList{"b"});
    EXPECT_EQ(dialog.lbxMenu->currentRow(), 0);
    EXPECT_EQ(dialog.txtDir->text(), "/y");

    dialog.btnDel->click();
    EXPECT_EQ(dialog.MenuCount(), -1);
    EXPECT_TRUE(dialog.txtDir->text().isEmpty());
    for (QWidget* w : std::initializer_list<QWidget*>{dialog.txtDir, dialog.lbxMenu, dialog.btnUp,
                                                      dialog.btnDown, dialog.btnDel,
                                                      dialog.btnDelAll, dialog.btnName})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_TRUE(dialog.btnOk->isEnabled());
    EXPECT_TRUE(dialog.btnCancel->isEnabled());
}

TEST_F(MenteTest, DeleteAllThenOkLeavesNoAliases) {
    hand(2);
    dialog.show();
    dialog.btnDelAll->click();
    EXPECT_FALSE(dialog.btnName->isEnabled());
    dialog.btnOk->click();
    EXPECT_TRUE(dialog.pblnOk);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.MenuCount(), -1);
}

TEST_F(MenteTest, RenameRefusesAnExistingNameAndIgnoresEmptyOrSame) {
    hand(2);
    dialog.show();
    prompts.answers = QStringList{"b", "", "a", "B"};
    dialog.btnName->click();
    EXPECT_EQ(prompts.messages, QStringList{"すでに存在するフォルダエリアス名には変更できません"});
    EXPECT_EQ(prompts.titles.value(0), "フォルダエリアス名の変更");
    EXPECT_EQ(prompts.prompts.value(0), "フォルダエリアス名を入力してください");
    EXPECT_EQ(prompts.proposals.value(0), "a");
    dialog.btnName->click();
    dialog.btnName->click();
    EXPECT_EQ(listed(), (QStringList{"a", "b", "c"}));
    dialog.btnName->click(); // differs from "b" only in letter case
    EXPECT_EQ(listed(), (QStringList{"B", "b", "c"}));
    EXPECT_EQ(prompts.messages.size(), 1);
    QString name, dir;
    dialog.Get_Menu(0, name, dir);
    EXPECT_EQ(name, "B");
    EXPECT_EQ(dir, "/x/1/2/3/4");
}

TEST_F(MenteTest, CancelAfterChangesLeavesThePaneAliases) {
    // The pane's side: it reads the dialog back only after OK.
    const auto maintain = [this](std::function<void()> inside) {
        hand(2);
        QTimer::singleShot(0, &dialog, inside);
        dialog.exec();
        if (!dialog.pblnOk)
            return;
        const int last = dialog.MenuCount();
        for (int i = 0; i < 10; ++i) {
            names[i].clear();
            dirs[i].clear();
            if (i <= last)
                dialog.Get_Menu(i, names[i], dirs[i]);
        }
    };
    maintain([this] {
        dialog.btnDown->click();
        dialog.btnDel->click();
        dialog.btnCancel->click();
    });
    EXPECT_FALSE(dialog.pblnOk);
    EXPECT_EQ(names[0], "a");
    EXPECT_EQ(names[2], "c");

    maintain([this] {
        EXPECT_EQ(listed(), (QStringList{"a", "b", "c"})); // nothing of the last use
        dialog.btnDown->click();
        dialog.btnDel->click();
        dialog.btnOk->click();
    });
    EXPECT_EQ(names[0], "b");
    EXPECT_EQ(dirs[0], "/y");
    EXPECT_EQ(names[1], "c");
    EXPECT_TRUE(names[2].isEmpty());
}

TEST_F(MenteTest, EmptyTableDisablesEverythingButOkAndCancel) {
    hand(-1);
    dialog.show();
    EXPECT_EQ(dialog.MenuCount(), -1);
    EXPECT_FALSE(dialog.lbxMenu->isEnabled());
    EXPECT_TRUE(dialog.btnCancel->isEnabled());
    EXPECT_TRUE(dialog.txtDir->text().isEmpty());
}

} // namespace
