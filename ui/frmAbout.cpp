#include "frmAbout.h"

#include "dialog_support.h"
#include "drawn_icons.h"
#include "messages.h"
#include "program.h"
#include "settings.h"
#include "twips.h"

#include <QLabel>
#include <QPushButton>

namespace dravonel {

namespace {

const QString kPrefix = QStringLiteral("About");

} // namespace

QString FormatVersion(int v) {
    return QString::number(v / 100.0, 'f', 2);
}

frmAbout::frmAbout(Program& program, QWidget* parent) : QDialog(parent), program_(program) {
    setModal(true);
    setFixedSize(toPixels(4800, 3000));

    imgAbout = new QLabel(this);
    imgAbout->setPixmap(programIcon().pixmap(toPixels(480)));
    placeTwips(imgAbout, 240, 240, 480, 480);
    const auto label = [this](double l, double t, double w, double h) {
        auto* text = new QLabel(this);
        placeTwips(text, l, t, w, h);
        return text;
    };
    lblAboutProgName = label(960, 180, 3600, 300);
    lblAboutTitle = label(960, 540, 3600, 300);
    lblAboutVersion = label(960, 900, 3600, 300);
    for (int row = 0; row < 3; ++row) {
        lblProg[row] = label(960, 1440 + row * 300, 1920, 300);
        lblVer[row] = label(2880, 1440 + row * 300, 1680, 300);
    }
    btnOK = new QPushButton(this);
    placeTwips(btnOK, 1800, 2460, 1200, 375);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::hide);
}

void frmAbout::Form_Load() {
    loadPosition(this, program_.store, kPrefix);
    setWindowTitle(resDravonel(msg::AboutTitle));
    lblAboutTitle->setText(resDravonel(msg::AboutSubtitle));
    lblAboutProgName->setText(resDravonel(msg::ProgramTitle));
    lblAboutVersion->setText(QStringLiteral("Ver.") + kReleaseVersion);
    btnOK->setText(QStringLiteral("Ok"));

    const LibraryState& libraries = program_.libraries;
    int row = 0;
    const auto addRow = [this, &row](const QString& name, int version) {
        lblProg[row]->setText(name);
        lblVer[row]->setText(QStringLiteral("Ver.") + FormatVersion(version));
        ++row;
    };
    if (libraries.LhaAvailable)
        addRow(QStringLiteral("UNLHA32.DLL"), libraries.LhaVersion);
    if (libraries.ZipAvailable) {
        addRow(QStringLiteral("UNZIP32.DLL"), libraries.UnZipVersion);
        addRow(QStringLiteral("ZIP32J.DLL"), libraries.ZipVersion);
    }
    for (; row < 3; ++row) {
        lblProg[row]->clear();
        lblVer[row]->clear();
    }
    SetFontData(); // lays the dialog out, now that the captions are in place
}

void frmAbout::Form_QueryUnload() {
    savePosition(this, program_.store, kPrefix);
}

void frmAbout::SetFontData() {
    applyFontData(program_.options, {this});
    for (QWidget* child : findChildren<QWidget*>())
        applyFontData(program_.options, {child});
    fitRows(this);
}

} // namespace dravonel
