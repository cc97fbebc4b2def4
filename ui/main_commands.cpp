#include "main_commands.h"

#include "host.h"
#include "job_file.h"
#include "mdiStatus.h"
#include "messages.h"
#include "options.h"
#include "session.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QProcess>
#include <QUrl>

#include <cmath>

namespace dravonel {

namespace {

const QString kHelpWhere = QStringLiteral(
    "ヘルプを表示するプログラムが見つかりません。ヘルプのページは次の場所にあります。\n%1");
const QString kHelpMissing = QStringLiteral("ヘルプのページが見つかりません。\n%1");

QString helpPagePath() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString installed = exeDir + QStringLiteral("/../share/doc/dravonel2/help.html");
    if (QFileInfo::exists(installed))
        return QFileInfo(installed).canonicalFilePath();
    return exeDir + QStringLiteral("/help.html");
}

} // namespace

QString jobFileDialog(QWidget* parent, bool save, const QString& initial) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setNameFilters(dialogFilters(resDravonel(msg::JobFileFilter)));
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

bool openJob(QWidget* parent, Session& session, MessageHost& host) {
    const QString name = jobFileDialog(parent, false, session.jobName());
    if (name.isEmpty())
        return false;
    session.setJobName(name);
    LoadDvf(session.jobName(), session, host);
    return true;
}

void saveJob(QWidget* parent, Session& session, MessageHost& host, bool saveAs) {
    if (saveAs || session.jobName().isEmpty()) {
        const QString name = jobFileDialog(parent, true, saveAs ? session.jobName() : QString());
        if (!name.isEmpty())
            session.setJobName(name);
        else if (saveAs)
            return;
    }
    if (!session.jobName().isEmpty())
        WriteJobFile(session.jobName(), session, host);
}

bool chooseFont(QWidget* parent, QFont current, OptionSet& o, long largest) {
    bool ok = false;
    // The dialog starts on the face the windows show: a stored face that is
    // not installed ("ＭＳ 明朝") stands for the one the platform put in its place.
    const QFontInfo inUse(current);
    current.setFamily(inUse.family());
    current.setStyleName(inUse.styleName());
    const QFont chosen = QFontDialog::getFont(&ok, current, parent, QStringLiteral("Dravonel2"));
    if (!ok)
        return false;
    // Sizes above the largest are taken as it: the panes and the strip stay
    // usable up to there.
    const qint16 size = qint16(std::min<long>(
        std::lround(chosen.pointSizeF() > 0 ? chosen.pointSizeF() : o.Font_Size), largest));
    // OK without a change keeps the stored face.
    if (chosen.family() == current.family() && size == o.Font_Size &&
        chosen.bold() == o.Font_Bold && chosen.italic() == o.Font_Italic)
        return false;
    o.Font_Name = chosen.family();
    o.Font_Size = size;
    o.Font_Bold = chosen.bold();
    o.Font_Italic = chosen.italic();
    return true;
}

void openHelpPage(QWidget* parent, MessageHost& host) {
    const QString page = helpPagePath();
    const QString where = kHelpWhere.arg(page);
    if (!QFileInfo::exists(page)) {
        host.showMessage(kHelpMissing.arg(page));
        return;
    }
    // The desktop's opener reports by its exit status whether a viewer took
    // the page; without the opener the platform's own way is tried. Either
    // way a user without a viewer is told where the page is.
    auto* opener = new QProcess(parent);
    QObject::connect(opener, &QProcess::finished, parent,
                     [&host, opener, where](int code, QProcess::ExitStatus status) {
                         opener->deleteLater();
                         if (status != QProcess::NormalExit || code != 0)
                             host.showMessage(where);
                     });
    QObject::connect(opener, &QProcess::errorOccurred, parent,
                     [&host, opener, page, where](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         opener->deleteLater();
                         if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
                             host.showMessage(where);
                     });
    opener->start(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(page).toString()});
}

} // namespace dravonel
