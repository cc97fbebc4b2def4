#include "frmOption.h"

#include "dialog_host.h"
#include "dialog_support.h"
#include "message_box.h"
#include "messages.h"
#include "program.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace dravonel {

namespace {

const QString kPrefix = QStringLiteral("Option");

// Selects the button of an index setting; an index outside the array selects
// button 0.
template <std::size_t N> void selectIndex(const std::array<QRadioButton*, N>& buttons, int index) {
    buttons[index >= 0 && index < int(N) ? index : 0]->setChecked(true);
}

template <std::size_t N> qint16 selectedIndex(const std::array<QRadioButton*, N>& buttons) {
    for (std::size_t i = 0; i < N; ++i) {
        if (buttons[i]->isChecked())
            return qint16(i);
    }
    return 0;
}

QFrame* makePanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    return panel;
}

} // namespace

frmOption::frmOption(Program& program, DialogHost& host, QWidget* parent)
    : QDialog(parent), program_(program), host_(host) {
    setModal(true);
    setSizeGripEnabled(false);
    setFixedSize(toPixels(5175, 6090));

    const auto check = [this](double l, double t, double w, double h) {
        auto* box = new QCheckBox(this);
        placeTwips(box, l, t, w, h);
        connect(box, &QCheckBox::clicked, this, [this] { btnOk->setEnabled(true); });
        return box;
    };
    const auto label = [this](double l, double t, double w, double h) {
        auto* text = new QLabel(this);
        placeTwips(text, l, t, w, h);
        return text;
    };
    const auto panel = [this](double l, double t, double w, double h) {
        QFrame* frame = makePanel(this);
        placeTwips(frame, l, t, w, h);
        return frame;
    };
    const auto option = [this](QWidget* in, double l, double t, double w, double h) {
        auto* button = new QRadioButton(in);
        placeTwips(button, l, t, w, h);
        connect(button, &QRadioButton::clicked, this, [this] { btnOk->setEnabled(true); });
        return button;
    };
    const auto push = [this](double l, double t, double w, double h) {
        auto* button = new QPushButton(this);
        button->setAutoDefault(false);
        placeTwips(button, l, t, w, h);
        return button;
    };

    ckbHiddn = check(120, 120, 4935, 195);
    ckbUCase = check(120, 360, 4935, 180);
    lblAshuku = label(120, 720, 780, 195);
    pnlAshuku = panel(120, 960, 4935, 495);
    obtAshuku = {option(pnlAshuku, 120, 120, 1335, 240), option(pnlAshuku, 1680, 120, 1335, 240),
                 option(pnlAshuku, 3240, 120, 1335, 240)};
    ckbDouble = check(120, 1560, 4935, 180);
    lblAshukuExe = label(120, 1920, 2535, 195);
    pnlAshukuExe = panel(120, 2160, 4935, 495);
    obtAshukuExe = {option(pnlAshukuExe, 120, 120, 1935, 240),
                    option(pnlAshukuExe, 2520, 120, 1935, 240)};
    lblPattern = label(120, 2760, 1950, 195);
    pnlPattern = panel(120, 3000, 4935, 735);
    obtPattern = {option(pnlPattern, 120, 120, 1935, 240), option(pnlPattern, 2520, 120, 1935, 240),
                  option(pnlPattern, 120, 360, 1935, 240),
                  option(pnlPattern, 2520, 360, 1935, 240)};
    ckbAuto = check(120, 3840, 4455, 195);
    pnlAuto = panel(120, 4080, 4935, 495);
    obtExe = {option(pnlAuto, 120, 120, 1095, 240), option(pnlAuto, 1320, 120, 1095, 240),
              option(pnlAuto, 2520, 120, 1095, 240), option(pnlAuto, 3720, 120, 1095, 240)};
    ckbLog = check(120, 4605, 4935, 195);
    ckbResize = check(120, 5040, 4935, 240);
    ckbTip = check(120, 5280, 5055, 240);
    btnInit = push(120, 5640, 1455, 375);
    btnCancel = push(1680, 5640, 1455, 360);
    btnOk = push(3600, 5640, 1455, 360);

    for (QRadioButton* button : obtAshuku)
        connect(button, &QRadioButton::clicked, this, &frmOption::Ashuku_Visible);
    for (QRadioButton* button : obtExe)
        connect(button, &QRadioButton::clicked, this, &frmOption::obtExe_Click);
    connect(ckbAuto, &QCheckBox::clicked, this, &frmOption::Auto_Visible);
    connect(btnInit, &QPushButton::clicked, this, [this] {
        btnOk->setEnabled(true);
        Option_Init();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::hide);
    connect(btnOk, &QPushButton::clicked, this, &frmOption::btnOk_Click);
}

void frmOption::Form_Load() {
    loadPosition(this, program_.store, kPrefix);
    setWindowTitle(resDravonel(msg::OptionsTitle));
    ckbHiddn->setText(resDravonel(msg::OptionHidden));
    ckbUCase->setText(resDravonel(msg::OptionUpperCase));
    lblAshuku->setText(resDravonel(msg::FrameMethod));
    for (int i = 0; i < 3; ++i)
        obtAshuku[i]->setText(resDravonel(msg::MethodNormal + i));
    ckbDouble->setText(resDravonel(msg::OptionUpdateDouble));
    ckbAuto->setText(resDravonel(msg::OptionAutoRun));
    for (int i = 0; i < 4; ++i)
        obtExe[i]->setText(resDravonel(msg::AutoModeDravo + i));
    lblPattern->setText(resDravonel(msg::FrameDoublePattern));
    for (int i = 0; i < 4; ++i)
        obtPattern[i]->setText(resDravonel(msg::DoublePattern0 + i));
    lblAshukuExe->setText(resDravonel(msg::FrameFormat));
    for (int i = 0; i < 2; ++i)
        obtAshukuExe[i]->setText(resDravonel(msg::FormatLzh + i));
    btnInit->setText(resAll(common_msg::Defaults));
    btnCancel->setText(resAll(common_msg::DialogCancel));
    btnOk->setText(resAll(common_msg::DialogOk));
    ckbResize->setText(resAll(common_msg::OptionResizePanes));
    ckbTip->setText(resAll(common_msg::OptionToolTips));
    ckbLog->setText(resAll(common_msg::OptionCopyResult));
    SetToolTip(program_.options.Tip);
    SetFontData(); // lays the dialog out, now that the captions are in place
}

void frmOption::Form_QueryUnload() {
    savePosition(this, program_.store, kPrefix);
}

void frmOption::SetToolTip(bool blnToolTip) {
    const auto tip = [blnToolTip](QWidget* widget, const QString& text) {
        widget->setToolTip(blnToolTip ? text : QString());
    };
    tip(ckbHiddn, resDravonel(msg::TipOptionHidden));
    tip(ckbUCase, resDravonel(msg::TipOptionUpperCase));
    for (int i = 0; i < 3; ++i)
        tip(obtAshuku[i], resDravonel(msg::TipMethodNormal + i));
    tip(ckbDouble, resDravonel(msg::TipOptionUpdateDouble));
    tip(ckbAuto, resDravonel(msg::TipOptionAutoRun));
    for (int i = 0; i < 4; ++i)
        tip(obtExe[i], resDravonel(msg::TipAutoModeDravo + i));
    for (int i = 0; i < 4; ++i)
        tip(obtPattern[i], resDravonel(msg::TipDoublePattern0 + i));
    for (int i = 0; i < 2; ++i)
        tip(obtAshukuExe[i], resDravonel(msg::TipFormatLzh + i));
    tip(ckbLog, resAll(common_msg::TipOptionCopyResult));
    tip(ckbResize, resAll(common_msg::TipOptionResizePanes));
    tip(ckbTip, resAll(common_msg::TipOptionToolTips));
    tip(btnInit, resAll(common_msg::TipDefaults));
    tip(btnCancel, resAll(common_msg::TipDialogCancel));
    tip(btnOk, resAll(common_msg::TipDialogOk));
}

void frmOption::SetFontData() {
    applyFontData(program_.options, {this});
    for (QWidget* child : findChildren<QWidget*>())
        applyFontData(program_.options, {child});
    fitRows(this);
}

void frmOption::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Form_Activate();
}

void frmOption::closeEvent(QCloseEvent* event) {
    // The close box applies nothing, like Cancel.
    Form_QueryUnload();
    QDialog::closeEvent(event);
}

void frmOption::Form_Activate() {
    Option_Load();
    Zip_Enabled();
    btnOk->setEnabled(false);
}

void frmOption::Option_Load() {
    const OptionSet& o = program_.options;
    ckbHiddn->setChecked(o.Hiddn);
    ckbUCase->setChecked(o.UCase);
    selectIndex(obtAshuku, o.Ashuku);
    ckbDouble->setChecked(o.Double);
    Ashuku_Visible();
    ckbAuto->setChecked(o.Auto);
    selectIndex(obtExe, o.AutoExe);
    ckbLog->setChecked(o.AutoLog);
    Auto_Visible();
    selectIndex(obtPattern, o.Pattern);
    selectIndex(obtAshukuExe, o.AshukuExe);
    ckbResize->setChecked(o.Resize);
    ckbTip->setChecked(o.Tip);
}

void frmOption::Option_Save() {
    OptionSet& o = program_.options;
    o.Hiddn = ckbHiddn->isChecked();
    o.UCase = ckbUCase->isChecked();
    o.Ashuku = selectedIndex(obtAshuku);
    o.Double = ckbDouble->isChecked();
    o.Auto = ckbAuto->isChecked();
    o.AutoExe = selectedIndex(obtExe);
    o.AutoLog = ckbLog->isChecked();
    o.Pattern = selectedIndex(obtPattern);
    o.AshukuExe = selectedIndex(obtAshukuExe);
    const bool tip = ckbTip->isChecked();
    o.Resize = ckbResize->isChecked();
    if (tip != o.Tip) {
        o.Tip = tip;
        host_.SetToolTipAll(tip);
    }
}

void frmOption::Option_Init() {
    ckbHiddn->setChecked(false);
    ckbUCase->setChecked(true);
    obtAshuku[kMethodNormal]->setChecked(true);
    ckbDouble->setChecked(false);
    Ashuku_Visible();
    ckbAuto->setChecked(false);
    ckbLog->setChecked(true);
    obtExe[0]->setChecked(true);
    Auto_Visible();
    obtPattern[0]->setChecked(true);
    obtAshukuExe[kFormatLzh]->setChecked(true);
    ckbResize->setChecked(true);
    ckbTip->setChecked(true);
}

void frmOption::Ashuku_Visible() {
    const bool twice = obtAshuku[kMethodDouble]->isChecked();
    ckbDouble->setVisible(twice);
    if (twice && obtExe[3]->isChecked())
        obtExe[0]->setChecked(true);
    lblAshukuExe->setVisible(!twice);
    pnlAshukuExe->setVisible(!twice);
    lblPattern->setVisible(twice);
    pnlPattern->setVisible(twice);
}

void frmOption::Auto_Visible() {
    pnlAuto->setVisible(ckbAuto->isChecked());
    ckbLog->setVisible(ckbAuto->isChecked());
}

void frmOption::Zip_Enabled() {
    const bool zip = program_.libraries.ZipAvailable;
    if (!zip) {
        obtPattern[0]->setChecked(true);
        obtAshukuExe[kFormatLzh]->setChecked(true);
    }
    for (int i = 1; i < 4; ++i)
        obtPattern[i]->setEnabled(zip);
    obtAshukuExe[kFormatZip]->setEnabled(zip);
}

void frmOption::obtExe_Click() {
    // FileN compresses each file on its own, which double compression cannot do.
    if (obtExe[3]->isChecked() && obtAshuku[kMethodDouble]->isChecked()) {
        obtAshuku[kMethodNormal]->setChecked(true);
        Ashuku_Visible();
    }
}

void frmOption::btnOk_Click() {
    Option_Save();
    host_.Pattern_Make();
    host_.emptyTargetList();
    hide();
}

} // namespace dravonel
