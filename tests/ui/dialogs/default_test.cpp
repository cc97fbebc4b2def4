#include "default_folders.h"
#include "dialog_fixture.h"
#include "drive_list.h"
#include "folder_list.h"
#include "frmDefault.h"
#include "messages.h"
#include "paths.h"
#include "system_folders.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

// The caption followed by a free-space text such as " (1,234.5M Free)".
bool hasFreeSpace(const QString& label, const QString& caption) {
    static const QRegularExpression suffix(QStringLiteral("^ \\([0-9,]+\\.[0-9]M Free\\)$"));
    return label.startsWith(caption) && suffix.match(label.mid(caption.size())).hasMatch();
}

class DefaultTest : public ::testing::Test, public ProgramFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        root = LongPath(temp.path());
        ASSERT_TRUE(QDir(root).mkpath("one/two"));
        dialog.Form_Load();
    }

    // Runs `inside` while the dialog is up, then leaves it with `leave`.
    void whileShown(std::function<void()> inside) {
        QTimer::singleShot(0, &dialog, [this, inside] {
            inside();
            if (dialog.isVisible())
                dialog.btnCancel->click();
        });
    }

    QTemporaryDir temp;
    QString root;
    frmDefault dialog{program, host};
};

TEST_F(DefaultTest, OkOnlyAfterAChangeAndCancelTakesNothingBack) {
    QString dirIn = root + "/one";
    bool yuko = true;
    whileShown([this] {
        EXPECT_FALSE(dialog.btnOk->isEnabled());
        EXPECT_TRUE(dialog.cbxDrive->isVisibleTo(&dialog));
        EXPECT_EQ(dialog.DirName(), root + "/one");
        EXPECT_EQ(dialog.txtDir->text(), ShortPath(root + "/one"));
        dialog.dlbDir->setPath(root + "/one/two");
        EXPECT_TRUE(dialog.btnOk->isEnabled());
    });
    mnuInDirDefault_Click(dialog, dirIn, yuko);
    EXPECT_FALSE(dialog.pblnOk);
    EXPECT_EQ(dirIn, root + "/one");
    EXPECT_TRUE(yuko);

    whileShown([this] {
        EXPECT_FALSE(dialog.btnOk->isEnabled());
        dialog.dlbDir->setListIndex(0);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(dialog.dlbDir, &enter);
        dialog.btnOk->click();
    });
    mnuInDirDefault_Click(dialog, dirIn, yuko);
    EXPECT_TRUE(dialog.pblnOk);
    EXPECT_EQ(dirIn, root + "/one/two");
    EXPECT_TRUE(yuko);
}

TEST_F(DefaultTest, ClearingTheFlagDisablesTheFolderAndOkStoresFalse) {
    QString dirOut = root + "/one";
    bool yuko = true;
    whileShown([this] {
        dialog.cbxDrive->click();
        EXPECT_TRUE(dialog.btnOk->isEnabled());
        EXPECT_FALSE(dialog.lblDrive->isEnabled());
        EXPECT_FALSE(dialog.drvDrive->isEnabled());
        EXPECT_FALSE(dialog.dlbDir->isEnabled());
        EXPECT_FALSE(dialog.txtDir->isEnabled());
        dialog.btnOk->click();
    });
    mnuOutDirDefault_Click(dialog, dirOut, yuko);
    EXPECT_FALSE(yuko);
    EXPECT_EQ(dirOut, root + "/one");

    // The next use starts from the stored flag.
    whileShown([this] {
        EXPECT_FALSE(dialog.cbxDrive->isChecked());
        EXPECT_FALSE(dialog.dlbDir->isEnabled());
    });
    mnuOutDirDefault_Click(dialog, dirOut, yuko);
    EXPECT_FALSE(yuko);
}

TEST_F(DefaultTest, TheThreeUsesDifferInLabelCheckBoxAndFreeSpace) {
    QString folder = root;
    bool yuko = false;
    whileShown([this] {
        EXPECT_EQ(dialog.lblDrive->text(), resDravonel(10000));
        EXPECT_EQ(dialog.cbxDrive->toolTip(), resDravonel(10020));
        EXPECT_EQ(dialog.dlbDir->toolTip(), resDravonel(10022));
    });
    mnuInDirDefault_Click(dialog, folder, yuko);

    whileShown([this] {
        EXPECT_TRUE(hasFreeSpace(dialog.lblDrive->text(), resDravonel(10001)));
        EXPECT_EQ(dialog.drvDrive->toolTip(), resDravonel(10041));
    });
    mnuOutDirDefault_Click(dialog, folder, yuko);

    QString tmpDir = root + "/one/";
    whileShown([this] {
        EXPECT_FALSE(dialog.cbxDrive->isVisibleTo(&dialog));
        EXPECT_TRUE(dialog.cbxDrive->isChecked());
        EXPECT_TRUE(dialog.dlbDir->isEnabled());
        EXPECT_EQ(dialog.lblDrive->x(), dialog.cbxDrive->x());
        EXPECT_TRUE(hasFreeSpace(dialog.lblDrive->text(), resDravonel(10002)));
        EXPECT_EQ(dialog.txtDir->toolTip(), resDravonel(10063));
        dialog.dlbDir->setPath(root);
        dialog.btnOk->click();
    });
    mnuTmpDirDefault_Click(dialog, tmpDir);
    EXPECT_EQ(tmpDir, root);
}

TEST_F(DefaultTest, CopyItemsTakeThePanesAndTheTemporaryFolder) {
    host.input = root + "/one";
    host.output = root + "/one/two";
    QString folder = root;
    bool yuko = true;
    whileShown([this] {
        dialog.mnuInDir->trigger();
        EXPECT_EQ(dialog.DirName(), root + "/one");
        EXPECT_TRUE(dialog.btnOk->isEnabled());
        dialog.mnuOutDir->trigger();
        EXPECT_EQ(dialog.DirName(), root + "/one/two");
        dialog.mnuTmp->trigger();
        EXPECT_EQ(dialog.DirName(), LongPath(TempFolder()));
        dialog.btnOk->click();
    });
    mnuInDirDefault_Click(dialog, folder, yuko);
    EXPECT_EQ(folder, LongPath(TempFolder()));
    EXPECT_EQ(dialog.mnuTmp->text(), "Ｗｉｎｄｏｗｓのテンポラリからコピー");
}

TEST_F(DefaultTest, PopUpOnTheFolderListAndTextButNotOnTheDriveListOrButtons) {
    dialog.show();
    const auto rightClick = [this](QWidget* on) {
        dialog.mnuPopup->hide();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                on->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(on, &event);
        return dialog.mnuPopup->isVisible();
    };
    EXPECT_TRUE(rightClick(dialog.dlbDir));
    EXPECT_TRUE(rightClick(dialog.txtDir));
    EXPECT_TRUE(rightClick(&dialog));
    EXPECT_FALSE(rightClick(dialog.drvDrive));
    EXPECT_FALSE(rightClick(dialog.btnOk));
    dialog.mnuPopup->hide();
}

TEST_F(DefaultTest, AMissingFolderIsShownAsTheCurrentFolder) {
    QString folder = root + "/gone";
    bool yuko = true;
    whileShown([this] {
        EXPECT_EQ(dialog.DirName(), LongPath(QDir::currentPath()));
        dialog.cbxDrive->click();
        dialog.cbxDrive->click();
        dialog.btnOk->click();
    });
    mnuInDirDefault_Click(dialog, folder, yuko);
    EXPECT_EQ(folder, LongPath(QDir::currentPath()));
    EXPECT_TRUE(yuko);
}

TEST_F(DefaultTest, LayoutKeepsTheOrderAndFillsTheWidth) {
    dialog.resize(400, 500);
    QString folder = root;
    bool yuko = true;
    whileShown([this] {
        EXPECT_LT(dialog.btnOk->mapTo(&dialog, QPoint()).y() + dialog.btnOk->height(),
                  dialog.lblDrive->y());
        EXPECT_LT(dialog.lblDrive->y() + dialog.lblDrive->height(), dialog.drvDrive->y());
        EXPECT_LT(dialog.drvDrive->y() + dialog.drvDrive->height(), dialog.dlbDir->y());
        EXPECT_LT(dialog.dlbDir->y() + dialog.dlbDir->height(), dialog.txtDir->y());
        EXPECT_LE(dialog.txtDir->y() + dialog.txtDir->height(), dialog.height());
        EXPECT_GT(dialog.dlbDir->height(), 200);
        EXPECT_EQ(dialog.dlbDir->x(), dialog.txtDir->x());
        EXPECT_EQ(dialog.dlbDir->width(), dialog.drvDrive->width());
        EXPECT_NEAR(dialog.dlbDir->x() * 2 + dialog.dlbDir->width(), 400, 1);
    });
    mnuInDirDefault_Click(dialog, folder, yuko);
}

} // namespace
