#include "system_folders.h"

#include "run_folder.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

namespace dravonel {

namespace {

QString withoutTrailingSeparator(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString executableFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return QString();
    buf[n] = '\0';
    return QFileInfo(QString::fromLocal8Bit(buf)).absolutePath();
}

} // namespace

QString TempFolder() {
    return PrivateFolderUnder(withoutTrailingSeparator(QDir::tempPath()));
}

QString SystemFolder() {
    const QString overridden = qEnvironmentVariable("DRAVONEL2_SYSTEM_DIR");
    if (!overridden.isEmpty())
        return withoutTrailingSeparator(overridden);
    const QString exeDir = executableFolder();
    if (exeDir.isEmpty())
        return QString();
    const QString installed =
        QDir::cleanPath(exeDir + QLatin1Char('/') + QStringLiteral(DRAVONEL2_MODULE_RELDIR));
    if (QFileInfo(installed).isDir())
        return installed;
    return exeDir;
}

QString UserBaseFolder(const char* variable, const QString& underHome) {
    const QString folder = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(folder))
        return folder;
    return QDir::homePath() + QLatin1Char('/') + underHome;
}

} // namespace dravonel
