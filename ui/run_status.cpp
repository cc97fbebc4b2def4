#include "run_status.h"

#include "paths.h"
#include "progress_line.h"
#include "twips.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QStatusBar>

#include <cmath>

namespace dravonel {

namespace {

// The share of the current call that is done.
double callShare(const RunProgress& p) {
    return p.total > 0 ? double(std::min(p.done, p.total)) / double(p.total) : 0;
}

} // namespace

RunStatus::RunStatus(QStatusBar& bar)
    : QObject(&bar), line_(new QLabel(&bar)), bar_(new QProgressBar(&bar)) {
    bar_->setObjectName(QStringLiteral("progress"));
    bar_->setTextVisible(true);
    bar_->setFormat(QString());
    bar_->setRange(0, 1000);
    bar_->setValue(0);
    bar.addWidget(line_, 1);
    bar.addPermanentWidget(bar_);
    bar_->setMinimumWidth(toPixels(3000));
}

double RunStatus::runFraction(const RunProgress& p) {
    const double call = callShare(p);
    // By bytes where the run knows them, else by archives.
    if (p.runTotal > 0)
        return std::min(1.0,
                        (double(p.runDone) + call * double(p.archiveBytes)) / double(p.runTotal));
    if (p.archiveCount > 0)
        return std::min(1.0, (std::max(p.archive - 1, 0) + call) / p.archiveCount);
    return call;
}

void RunStatus::show(const RunProgress& p) {
    // The whole run: archives done of all, bytes of all where known; then the
    // archive and the file in progress.
    const QString count = p.archiveCount > 0
                              ? QStringLiteral("%1/%2").arg(p.archive).arg(p.archiveCount)
                              : QString::number(p.archive);
    QString bytes;
    if (p.runTotal > 0) {
        const auto done = qint64(p.runDone + quint64(callShare(p) * double(p.archiveBytes)));
        const QLocale c = QLocale::c();
        bytes = QStringLiteral("  %1 / %2")
                    .arg(c.formattedDataSize(std::min<qint64>(done, qint64(p.runTotal))),
                         c.formattedDataSize(qint64(p.runTotal)));
    }
    line_->setText(
        QStringLiteral("%1%2  %3  %4").arg(count, bytes, FileNameOf(p.archivePath), p.member));
    bar_->setValue(int(std::lround(runFraction(p) * 1000)));
    bar_->setFormat(QStringLiteral("%p%"));
    if (terminal_) {
        const quint64 done = p.runDone + quint64(callShare(p) * double(p.archiveBytes));
        terminal_->show(p.archive, p.archiveCount, std::min(done, p.runTotal), p.runTotal,
                        FileNameOf(p.archivePath) + QStringLiteral(": ") + p.member);
    }
}

void RunStatus::clear() {
    line_->clear();
    bar_->setValue(0);
    bar_->setFormat(QString());
}

} // namespace dravonel
