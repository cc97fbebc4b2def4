#include "dialog_fixture.h"
#include "frmDefault.h"
#include "frmMenuMente.h"
#include "frmOption.h"
#include "messages.h"
#include "twips.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

class OptionTest : public ::testing::Test, public ProgramFixture {
protected:
    void open() {
        dialog.Form_Load();
        dialog.show();
    }
    bool shown(QWidget* widget) { return widget->isVisibleTo(&dialog); }

    frmOption dialog{program, host};
};

TEST_F(OptionTest, DefaultsThenConfirmGiveTheListedValues) {
    options.Hiddn = true;
    options.UCase = false;
    options.Ashuku = kMethodDouble;
    options.Double = true;
    options.Auto = true;
    options.AutoExe = 2;
    options.AutoLog = false;
    options.Pattern = 3;
    options.AshukuExe = kFormatZip;
    options.Resize = false;
    options.Tip = false;
    open();
    EXPECT_FALSE(dialog.btnOk->isEnabled());

    dialog.btnInit->click();
    EXPECT_TRUE(dialog.btnOk->isEnabled());
    // Only the controls changed so far.
    EXPECT_TRUE(options.Hiddn);
    dialog.btnOk->click();

    EXPECT_FALSE(options.Hiddn);
    EXPECT_TRUE(options.UCase);
    EXPECT_EQ(options.Ashuku, 0);
    EXPECT_FALSE(options.Double);
    EXPECT_FALSE(options.Auto);
    EXPECT_EQ(options.AutoExe, 0);
    EXPECT_TRUE(options.AutoLog);
    EXPECT_EQ(options.Pattern, 0);
    EXPECT_EQ(options.AshukuExe, 0);
    EXPECT_TRUE(options.Resize);
    EXPECT_TRUE(options.Tip);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(host.toolTipCalls, QList<bool>{true});
    EXPECT_EQ(host.patternMakes, 1);
    EXPECT_EQ(host.targetListEmptied, 1);
}

TEST_F(OptionTest, EveryClickEnablesConfirmAndEachShowingDisablesIt) {
    open();
    EXPECT_FALSE(dialog.btnOk->isEnabled());
    dialog.ckbUCase->click();
    EXPECT_TRUE(dialog.btnOk->isEnabled());
    dialog.hide();
    dialog.show();
    EXPECT_FALSE(dialog.btnOk->isEnabled());
    dialog.obtAshuku[1]->click();
    EXPECT_TRUE(dialog.btnOk->isEnabled());
}

TEST_F(OptionTest, DoubleCompressionAndFileNExcludeEachOther) {
    options.Auto = true;
    options.AutoExe = 3;
    open();
    EXPECT_TRUE(shown(dialog.pnlAshukuExe));
    EXPECT_FALSE(shown(dialog.pnlPattern));
    EXPECT_FALSE(shown(dialog.ckbDouble));

    dialog.obtAshuku[2]->click();
    EXPECT_TRUE(dialog.obtExe[0]->isChecked());
    EXPECT_TRUE(shown(dialog.ckbDouble));
    EXPECT_TRUE(shown(dialog.lblPattern));
    EXPECT_TRUE(shown(dialog.pnlPattern));
    EXPECT_FALSE(shown(dialog.lblAshukuExe));
    EXPECT_FALSE(shown(dialog.pnlAshukuExe));

    dialog.obtExe[3]->click();
    EXPECT_TRUE(dialog.obtAshuku[0]->isChecked());
    EXPECT_TRUE(dialog.obtExe[3]->isChecked());
    EXPECT_FALSE(shown(dialog.pnlPattern));
    EXPECT_FALSE(shown(dialog.ckbDouble));
    EXPECT_TRUE(shown(dialog.pnlAshukuExe));

    // Another mode with double compression leaves the method alone.
    dialog.obtAshuku[2]->click();
    dialog.obtExe[1]->click();
    EXPECT_TRUE(dialog.obtAshuku[2]->isChecked());
}

TEST_F(OptionTest, AutomaticRunControlsFollowTheirCheckBox) {
    open();
    EXPECT_FALSE(shown(dialog.pnlAuto));
    EXPECT_FALSE(shown(dialog.ckbLog));
    dialog.ckbAuto->click();
    EXPECT_TRUE(shown(dialog.pnlAuto));
    EXPECT_TRUE(shown(dialog.ckbLog));
}

TEST_F(OptionTest, WithoutZipModulesAStoredZipChoiceComesUpAsLzh) {
    libraries.ZipAvailable = false;
    options.Ashuku = kMethodDouble;
    options.Pattern = 3;
    options.AshukuExe = kFormatZip;
    open();
    EXPECT_TRUE(dialog.obtPattern[0]->isChecked());
    EXPECT_TRUE(dialog.obtAshukuExe[0]->isChecked());
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(dialog.obtPattern[i]->isEnabled());
    EXPECT_TRUE(dialog.obtPattern[0]->isEnabled());
    EXPECT_FALSE(dialog.obtAshukuExe[1]->isEnabled());
    EXPECT_FALSE(dialog.btnOk->isEnabled());

    dialog.ckbHiddn->click();
    dialog.btnOk->click();
    EXPECT_EQ(options.Pattern, 0);
    EXPECT_EQ(options.AshukuExe, 0);
}

TEST_F(OptionTest, WithZipModulesTheStoredChoicesStand) {
    options.Pattern = 2;
    options.AshukuExe = kFormatZip;
    open();
    EXPECT_TRUE(dialog.obtPattern[2]->isChecked());
    EXPECT_TRUE(dialog.obtAshukuExe[1]->isChecked());
    EXPECT_TRUE(dialog.obtPattern[3]->isEnabled());
    EXPECT_TRUE(dialog.obtAshukuExe[1]->isEnabled());
}

TEST_F(OptionTest, OutOfRangeIndexesShowTheFirstButton) {
    options.Ashuku = 3;
    options.AutoExe = -1;
    options.Pattern = 4;
    options.AshukuExe = 2;
    open();
    EXPECT_TRUE(dialog.obtAshuku[0]->isChecked());
    EXPECT_TRUE(dialog.obtExe[0]->isChecked());
    EXPECT_TRUE(dialog.obtPattern[0]->isChecked());
    EXPECT_TRUE(dialog.obtAshukuExe[0]->isChecked());
}

TEST_F(OptionTest, CancelLeavesEverySettingAndTheNextShowingReloads) {
    const OptionSet before = options;
    open();
    dialog.ckbHiddn->click();
    dialog.ckbUCase->click();
    dialog.obtAshuku[1]->click();
    dialog.ckbAuto->click();
    dialog.obtExe[2]->click();
    dialog.ckbTip->click();
    dialog.btnInit->click();
    dialog.ckbResize->click();
    dialog.btnCancel->click();
    EXPECT_FALSE(dialog.isVisible());

    EXPECT_EQ(options.Hiddn, before.Hiddn);
    EXPECT_EQ(options.UCase, before.UCase);
    EXPECT_EQ(options.Ashuku, before.Ashuku);
    EXPECT_EQ(options.Auto, before.Auto);
    EXPECT_EQ(options.AutoExe, before.AutoExe);
    EXPECT_EQ(options.Resize, before.Resize);
    EXPECT_EQ(options.Tip, before.Tip);
    EXPECT_TRUE(host.toolTipCalls.isEmpty());
    EXPECT_EQ(host.patternMakes, 0);
    EXPECT_EQ(host.targetListEmptied, 0);

    dialog.show();
    EXPECT_TRUE(dialog.ckbResize->isChecked());
    EXPECT_FALSE(dialog.ckbHiddn->isChecked());
}

TEST_F(OptionTest, ToolTipsChangeOnEveryWindowOnlyWhenTheOptionChanges) {
    open();
    EXPECT_EQ(dialog.ckbTip->toolTip(), resAll(8059));
    EXPECT_EQ(dialog.obtAshuku[2]->toolTip(), resDravonel(8054));
    frmDefault defaults(program, host);
    defaults.Form_Load();
    frmMenuMente mente(program);
    mente.Form_Load();
    EXPECT_FALSE(mente.btnUp->toolTip().isEmpty());
    host.onToolTips = [&](bool tip) {
        defaults.SetToolTip(tip);
        mente.SetToolTip(tip);
        dialog.SetToolTip(tip);
    };

    dialog.ckbHiddn->click();
    dialog.btnOk->click();
    EXPECT_TRUE(host.toolTipCalls.isEmpty());
    EXPECT_EQ(host.targetListEmptied, 1);

    dialog.show();
    dialog.ckbTip->click();
    dialog.btnOk->click();
    EXPECT_FALSE(options.Tip);
    EXPECT_EQ(host.toolTipCalls, QList<bool>{false});
    for (QWidget* window : std::initializer_list<QWidget*>{&dialog, &defaults, &mente}) {
        for (QWidget* widget : window->findChildren<QWidget*>())
            EXPECT_TRUE(widget->toolTip().isEmpty()) << widget->metaObject()->className();
    }
    EXPECT_EQ(host.targetListEmptied, 2);
}

TEST_F(OptionTest, CaptionsAndSizeComeFromTheTable) {
    open();
    EXPECT_EQ(dialog.windowTitle(), "Option");
    EXPECT_EQ(dialog.ckbHiddn->text(), "隠し・システム属性ファイルも圧縮する");
    EXPECT_EQ(dialog.obtAshuku[2]->text(), "２重");
    EXPECT_EQ(dialog.obtExe[1]->text(), "通常");
    EXPECT_EQ(dialog.ckbLog->text(), "結果をクリップボートにコピー");
    EXPECT_EQ(dialog.btnInit->text(), "初期値");
    EXPECT_EQ(dialog.btnCancel->text(), "ｷｬﾝｾﾙ");
    EXPECT_EQ(dialog.btnOk->text(), "設定");
    // Placed from twips; a line too low for its font grows, and the dialog
    // with it: never smaller than designed.
    const QSize designed = toPixels(5175, 6090);
    EXPECT_GE(dialog.width(), designed.width());
    EXPECT_GE(dialog.height(), designed.height());
    const QRect pattern = dialog.obtPattern[3]->geometry();
    const QRect design = toPixels(2520, 360, 1935, 240);
    EXPECT_EQ(pattern.left(), design.left());
    EXPECT_EQ(pattern.width(), design.width());
    EXPECT_GE(pattern.height(),
              std::max(design.height(), dialog.obtPattern[3]->sizeHint().height()));
}

} // namespace
