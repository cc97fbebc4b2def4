#include "run_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravonel {

namespace {

const char kLockName[] = ".lock";
// A folder still being set up; older than this, its run died during set-up.
constexpr time_t kSetUpSeconds = 600;

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString withoutSlash(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

// Whether only the user (or root) can change the entries of this folder.
bool onlyUserCanChange(const struct stat& st) {
    if (st.st_uid != 0 && st.st_uid != ::getuid())
        return false;
    return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0;
}

// Takes the lock of a run folder when its run is gone; returns the lock's
// descriptor (to be closed by the caller) or -1 when the run still holds it.
int takeLockOfEndedRun(const QByteArray& folder) {
    const int fd = ::open((folder + '/' + kLockName).constData(),
                          O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? INT_MAX : -1; // no lock at all: nobody uses it
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool isPrivateFolder(const QString& folder) {
    if (folder.isEmpty())
        return false;
    const QByteArray given = QFile::encodeName(withoutSlash(folder));
    struct stat st;
    if (::lstat(given.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    char resolved[PATH_MAX];
    if (!::realpath(given.constData(), resolved))
        return false;
    QByteArray path(resolved);
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    while (path.size() > 1) {
        const qsizetype slash = path.lastIndexOf('/');
        path.truncate(slash > 0 ? slash : 1);
        if (::lstat(path.constData(), &st) != 0 || !onlyUserCanChange(st))
            return false;
    }
    return true;
}

void removeStaleRunFolders(const QString& base) {
    const QDir dir(base);
    const QFileInfoList entries =
        dir.entryInfoList({QStringLiteral("run-*"), QStringLiteral("new-*")},
                          QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QByteArray native = QFile::encodeName(entry.absoluteFilePath());
        if (entry.fileName().startsWith(QLatin1String("new-"))) {
            struct stat st;
            if (::lstat(native.constData(), &st) == 0 &&
                std::time(nullptr) - st.st_mtime > kSetUpSeconds)
                QDir(entry.absoluteFilePath()).removeRecursively();
            continue;
        }
        const int lock = takeLockOfEndedRun(native);
        if (lock < 0)
            continue;
        QDir(entry.absoluteFilePath()).removeRecursively();
        if (lock != INT_MAX)
            ::close(lock);
    }
}

RunFolder::~RunFolder() {
    remove();
}

bool RunFolder::create(const QString& tmpDir, const QString& privateFallback) {
    remove();
    QString base;
    if (isPrivateFolder(tmpDir))
        base = withSlash(tmpDir);
    else if (isPrivateFolder(privateFallback))
        base = withSlash(privateFallback);
    else
        return false;
    removeStaleRunFolders(base);

    // The folder gets its lock before it takes the name that cleaners look at,
    // so no cleaner ever sees a live run's folder without its lock held.
    QByteArray templ = QFile::encodeName(base) + "new-XXXXXX";
    if (!::mkdtemp(templ.data()))
        return false;
    const int fd = ::open((templ + '/' + kLockName).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        if (fd >= 0)
            ::close(fd);
        QDir(QFile::decodeName(templ)).removeRecursively();
        return false;
    }
    QByteArray final = templ;
    final.replace(final.size() - 10, 4, "run-");
    if (::rename(templ.constData(), final.constData()) != 0) {
        ::close(fd);
        QDir(QFile::decodeName(templ)).removeRecursively();
        return false;
    }
    lockFd_ = fd;
    path_ = QFile::decodeName(final) + QLatin1Char('/');
    return true;
}

void RunFolder::remove() {
    if (!path_.isEmpty())
        QDir(path_).removeRecursively();
    path_.clear();
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

} // namespace dravonel
