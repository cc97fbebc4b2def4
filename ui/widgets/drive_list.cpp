#include "drive_list.h"

#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QSet>
#include <QStyle>

#include <algorithm>

namespace dravonel {

namespace {

// File systems that hold no user files.
const QSet<QString>& pseudoFileSystems() {
    static const QSet<QString> types = {
        QStringLiteral("proc"),       QStringLiteral("sysfs"),
        QStringLiteral("tmpfs"),      QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),     QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),    QStringLiteral("securityfs"),
        QStringLiteral("pstore"),     QStringLiteral("debugfs"),
        QStringLiteral("tracefs"),    QStringLiteral("configfs"),
        QStringLiteral("fusectl"),    QStringLiteral("mqueue"),
        QStringLiteral("hugetlbfs"),  QStringLiteral("bpf"),
        QStringLiteral("autofs"),     QStringLiteral("binfmt_misc"),
        QStringLiteral("efivarfs"),   QStringLiteral("rpc_pipefs"),
        QStringLiteral("nsfs"),       QStringLiteral("ramfs"),
        QStringLiteral("selinuxfs"),  QStringLiteral("squashfs"),
        QStringLiteral("overlay"),    QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal")};
    return types;
}

// Mount points escape blanks, tabs, newlines and backslashes as \ooo (octal).
QString decodeMountPoint(const QString& field) {
    const QByteArray bytes = field.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\\' && i + 3 < bytes.size()) {
            bool ok = false;
            const int code = bytes.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(bytes[i]);
    }
    return QString::fromUtf8(out);
}

bool holds(const QString& mountPoint, const QString& path) {
    if (mountPoint == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == mountPoint || path.startsWith(mountPoint + QLatin1Char('/'));
}

bool underMediaFolder(const QString& mountPoint) {
    for (const char* base : {"/media/", "/mnt/", "/run/media/"}) {
        if (mountPoint.startsWith(QLatin1String(base)))
            return true;
    }
    return false;
}

} // namespace

QStringList browsableVolumes(const QString& mountTable, const QString& homeFolder) {
    // Every real volume, then the one that holds the home folder among them.
    QStringList real;
    for (const QString& line : mountTable.split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 3)
            continue;
        const QString mountPoint = decodeMountPoint(fields[1]);
        if (!mountPoint.startsWith(QLatin1Char('/')))
            continue;
        if (mountPoint != QLatin1String("/") && pseudoFileSystems().contains(fields[2]))
            continue;
        if (!real.contains(mountPoint))
            real.append(mountPoint);
    }
    const QString home = volumeOf(QDir::cleanPath(homeFolder), real);

    QStringList volumes{QStringLiteral("/")};
    for (const QString& mountPoint : real) {
        if (volumes.contains(mountPoint))
            continue;
        if (mountPoint == home || underMediaFolder(mountPoint))
            volumes.append(mountPoint);
    }
    std::sort(volumes.begin() + 1, volumes.end());
    return volumes;
}

QString volumeOf(const QString& path, const QStringList& volumes) {
    QString best;
    for (const QString& mountPoint : volumes) {
        if (holds(mountPoint, path) && mountPoint.size() > best.size())
            best = mountPoint;
    }
    return best;
}

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    // A right click here opens no pop-up menu, not even the window's own.
    setContextMenuPolicy(Qt::PreventContextMenu);
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index == lastIndex_)
            return;
        lastIndex_ = index;
        emit driveChanged(drive());
    });
    refresh();
}

QString DriveList::drive() const {
    return currentIndex() < 0 ? QString() : itemData(currentIndex()).toString();
}

void DriveList::setDriveOf(const QString& path) {
    QStringList volumes;
    for (int i = 0; i < count(); ++i)
        volumes.append(itemData(i).toString());
    // The volume that holds the folder itself, wherever links on the way lead.
    const QString volume = volumeOf(QFileInfo(AbsolutePath(path)).canonicalFilePath(), volumes);
    const int index = volumes.indexOf(volume);
    if (index >= 0) {
        setCurrentIndex(index);
        lastIndex_ = index;
    }
}

void DriveList::refresh() {
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    QString table;
    if (mounts.open(QIODevice::ReadOnly))
        table = QString::fromUtf8(mounts.readAll());
    setVolumes(browsableVolumes(table, QDir::homePath()));
}

void DriveList::setVolumes(const QStringList& volumes) {
    const QString selected = drive();
    clear();
    const QIcon icon = QIcon::fromTheme(QStringLiteral("drive-harddisk"),
                                        style()->standardIcon(QStyle::SP_DriveHDIcon));
    for (const QString& volume : volumes)
        addItem(icon, volume, volume);
    const int index = selected.isEmpty() ? 0 : std::max(0, int(volumes.indexOf(selected)));
    setCurrentIndex(count() > 0 ? index : -1);
    lastIndex_ = currentIndex();
}

void DriveList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit returnPressed();
        return;
    }
    QComboBox::keyPressEvent(event);
}

} // namespace dravonel
