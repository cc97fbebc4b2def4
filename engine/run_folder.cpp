#include "run_folder.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravonel {

namespace {

const char kLockName[] = ".lock";
// The program's mark on every run folder it makes. The sweep removes only
// folders that carry it (with the lock), so that a folder of the user's in the
// temporary folder is never taken for a run's, whatever its name.
const char kMarkerName[] = ".dravonel2-run";
// The names the program gives run folders: a prefix and the six letters and
// digits that mkdtemp puts in place of "XXXXXX".
const char kRunPrefix[] = "run-";
const char kSetUpPrefix[] = "new-";
constexpr int kUniqueLength = 6;
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

QByteArray folderMark(const struct stat& st) {
    return QByteArray::number(static_cast<qulonglong>(st.st_dev)) + ' ' +
           QByteArray::number(static_cast<qulonglong>(st.st_ino)) + '\n';
}

// Whether `folder` (described by `st`) holds `name` as a regular file of the
// user's (not a link) that carries the folder's mark.
bool holdsOwnMark(const QByteArray& folder, const struct stat& st, const char* name) {
    const int fd =
        ::open((folder + '/' + name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat mark;
    const bool marked = ::fstat(fd, &mark) == 0 && S_ISREG(mark.st_mode) &&
                        mark.st_uid == ::getuid() && carriesFolderMark(fd, st);
    ::close(fd);
    return marked;
}

// Takes the lock of a run folder (described by `st`) when its run is gone;
// returns the lock's descriptor (to be closed by the caller) or -1 when the
// folder is not one of the program's or its run still holds it.
int takeLockOfEndedRun(const QByteArray& folder, const struct stat& st) {
    return holdsOwnMark(folder, st, kMarkerName) ? takeFreeLock(folder + '/' + kLockName) : -1;
}

// Creates an empty file of the user's readable by nobody else; false when it
// cannot be made or exists already.
bool createOwnFile(const QByteArray& path, int* fd = nullptr) {
    const int made =
        ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made < 0)
        return false;
    if (fd)
        *fd = made;
    else
        ::close(made);
    return true;
}

// Removes everything in the open folder `dirFd` (closed on return), by the
// bytes of each name; a link is removed, never followed.
bool removeEntries(int dirFd) {
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return false;
    }
    bool removed = true;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
            ::unlinkat(::dirfd(dir), name, 0) == 0)
            continue;
        if (errno != EISDIR) {
            removed = false;
            continue;
        }
        const int sub =
            ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0 || !removeEntries(sub) || ::unlinkat(::dirfd(dir), name, AT_REMOVEDIR) != 0)
            removed = false;
    }
    ::closedir(dir);
    return removed;
}

} // namespace

bool removeFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd >= 0 && removeEntries(fd) && ::rmdir(path.constData()) == 0;
}

bool isMkdtempName(const QByteArray& name, const char* prefix) {
    const QByteArray start(prefix);
    if (name.size() != start.size() + kUniqueLength || !name.startsWith(start))
        return false;
    for (qsizetype i = start.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

int takeFreeLock(const QByteArray& path) {
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid())
        return -1;
    const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeFolderMark(int fd, const QByteArray& folder) {
    struct stat st;
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const QByteArray mark = folderMark(st);
    return ::pwrite(fd, mark.constData(), size_t(mark.size()), 0) == mark.size();
}

bool carriesFolderMark(int fd, const struct stat& st) {
    const QByteArray mark = folderMark(st);
    char held[64];
    const ssize_t got = ::pread(fd, held, sizeof held, 0);
    return got == mark.size() && QByteArray(held, int(got)) == mark;
}

QString PrivateFolderUnder(const QString& base) {
    const QString folder =
        withSlash(base) + QStringLiteral("dravonel2-") + QString::number(::getuid());
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    struct stat st;
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return QString();
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return QString();
    return folder + QLatin1Char('/');
}

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

QList<OwnTempFolder> ownTempFolders(const QByteArray& folder, const char* prefix) {
    QList<OwnTempFolder> found;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return found;
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (isMkdtempName(name, prefix))
            names.append(name);
    }
    ::closedir(dir);
    for (const QByteArray& name : names) {
        OwnTempFolder f{folder + '/' + name, {}};
        if (::lstat(f.path.constData(), &f.st) == 0 && S_ISDIR(f.st.st_mode) &&
            f.st.st_uid == ::getuid())
            found.append(f);
    }
    return found;
}

void removeStaleRunFolders(const QString& base) {
    const QByteArray folder = QFile::encodeName(withoutSlash(base));
    // A folder being set up has no lock held for a moment; only one left for
    // longer than any set-up takes belongs to a run that died.
    QList<OwnTempFolder> stale = ownTempFolders(folder, kRunPrefix);
    for (const OwnTempFolder& f : ownTempFolders(folder, kSetUpPrefix))
        if (std::time(nullptr) - f.st.st_mtime > kSetUpSeconds)
            stale.append(f);
    for (const OwnTempFolder& f : stale) {
        const int lock = takeLockOfEndedRun(f.path, f.st);
        if (lock < 0)
            continue;
        removeFolder(QFile::decodeName(f.path));
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

    // The folder gets its mark and then its lock before it takes the name that
    // cleaners look at, so no cleaner ever sees a live run's folder without its
    // lock held.
    QByteArray templ = QFile::encodeName(base) + kSetUpPrefix + "XXXXXX";
    if (!::mkdtemp(templ.data()))
        return false;
    int marker = -1;
    int fd = -1;
    const bool made = createOwnFile(templ + '/' + kMarkerName, &marker) &&
                      writeFolderMark(marker, templ) &&
                      createOwnFile(templ + '/' + kLockName, &fd) && ::flock(fd, LOCK_EX) == 0;
    if (marker >= 0)
        ::close(marker);
    if (!made) {
        if (fd >= 0)
            ::close(fd);
        removeFolder(QFile::decodeName(templ));
        return false;
    }
    QByteArray final = templ;
    const qsizetype prefixLength = sizeof(kSetUpPrefix) - 1;
    final.replace(final.size() - kUniqueLength - prefixLength, prefixLength, kRunPrefix);
    // Never in place of a folder that has the name already (rename would
    // replace an empty one).
    if (::renameat2(AT_FDCWD, templ.constData(), AT_FDCWD, final.constData(), RENAME_NOREPLACE) !=
        0) {
        ::close(fd);
        removeFolder(QFile::decodeName(templ));
        return false;
    }
    lockFd_ = fd;
    path_ = QFile::decodeName(final) + QLatin1Char('/');
    return true;
}

void RunFolder::remove() {
    if (!path_.isEmpty())
        removeFolder(path_);
    path_.clear();
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

} // namespace dravonel
