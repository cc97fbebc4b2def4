#include "archive_lock.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravonel {

QString ArchiveLock::lockFileOf(const QString& lockFolder, const QString& archive) {
    const QByteArray encoded = QFile::encodeName(archive);
    const qsizetype slash = encoded.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? encoded.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    struct stat st;
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QString();
    // The folder by its identity, so that a link or another spelling of its
    // path names the same lock; the name as its bytes (names are
    // case-sensitive).
    QByteArray key = QByteArray::number(qulonglong(st.st_dev)) + ':' +
                     QByteArray::number(qulonglong(st.st_ino)) + ':' + encoded.mid(slash + 1);
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    QString base = lockFolder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QString::fromLatin1(hash.left(40)) + QStringLiteral(".lock");
}

ArchiveLock::~ArchiveLock() {
    release();
}

bool ArchiveLock::acquire(const QString& lockFolder, const QString& archive,
                          const std::function<bool()>& keepWaiting) {
    release();
    waited_ = false;
    if (lockFolder.isEmpty())
        return false;
    const QByteArray folder = QFile::encodeName(lockFolder);
    const QString file = lockFileOf(lockFolder, archive);
    if (file.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(file);
    for (;;) {
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        // The folder goes with the last lock let go; made again, it is tried again.
        if (fd < 0 && errno == ENOENT)
            continue;
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error != EWOULDBLOCK)
                return false;
            waited_ = true;
            if (!keepWaiting())
                return false;
            continue;
        }
        // The holder before us removes the file as it lets go: a lock taken on
        // a file no longer at the path locks nothing, so try again.
        struct stat mine, now;
        if (::fstat(fd, &mine) == 0 && ::lstat(path.constData(), &now) == 0 &&
            mine.st_dev == now.st_dev && mine.st_ino == now.st_ino) {
            fd_ = fd;
            path_ = path;
            return true;
        }
        ::close(fd);
    }
}

void ArchiveLock::release() {
    if (fd_ < 0)
        return;
    ::unlink(path_.constData());
    ::close(fd_);
    fd_ = -1;
    // Locks left by runs that were killed are removed (whoever locks a file
    // may remove it: a run waiting on it sees that and tries again); the lock
    // folder is left only while other locks are in it.
    const QByteArray folder = path_.left(path_.lastIndexOf('/'));
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const QByteArray stale = folder + '/' + entry->d_name;
            const int fd = ::open(stale.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0)
                continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                ::unlink(stale.constData());
            ::close(fd);
        }
        ::closedir(dir);
    }
    ::rmdir(folder.constData());
    path_.clear();
}

} // namespace dravonel
