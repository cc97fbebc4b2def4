#include "desktop_notice.h"

#include "result_log.h"
#include "system_folders.h"
#include "terminal_text.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

namespace dravonel {

QString keepLog(const QString& kind, const QStringList& lines) {
    const QString folder = UserBaseFolder("XDG_STATE_HOME", QStringLiteral(".local/state")) +
                           QStringLiteral("/dravonel2");
    if (!QDir().mkpath(folder))
        return QString();
    const QString path =
        folder +
        QStringLiteral("/%1-%2-%3.log")
            .arg(kind, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
            .arg(QCoreApplication::applicationPid());
    QStringList shown;
    for (const QString& line : lines)
        shown << TerminalText(line);
    if (QFileInfo::exists(path) || !writeTextLines(path, shown))
        return QString();
    return path;
}

void notifyDesktop(const QString& summary, const QString& body, bool ok, const QString& logPath) {
    const QString text = body + (logPath.isEmpty() ? QStringLiteral("\n記録は残せませんでした。")
                                                   : QStringLiteral("\n記録: ") + logPath);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("io.github.korvath.Dravonel2")},
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(ok ? 1 : 2))}};
    call << QStringLiteral("Dravonel2") << uint(0) << QStringLiteral("io.github.korvath.Dravonel2")
         << summary << text << QStringList() << hints << int(-1);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        printTerminalLine(
            stderr, QStringLiteral("dravonel2: no desktop notification (%1); the log is in '%2'")
                        .arg(reply.errorMessage(), logPath));
}

} // namespace dravonel
