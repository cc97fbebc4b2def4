#include "archive_reading.h"

#include "arc_module.h"
#include "formats.h"
#include "paths.h"
#include "run.h"
#include "run_folder.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravonel {

std::optional<ArchiveKind> sniffArchive(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(7);
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06"))
        return ArchiveKind::Zip;
    // Every LZH header level has the method id "-lh?-" or "-lz?-" at offset 2.
    if (head.size() == 7 && head[2] == '-' && head[3] == 'l' &&
        (head[4] == 'h' || head[4] == 'z') && head[6] == '-')
        return ArchiveKind::Lzh;
    return std::nullopt;
}

bool isLinkMember(const ListedMember& member) {
    return member.method == QLatin1String("-lhd-") && member.path.contains(QLatin1Char('|'));
}

bool isFolderMember(const ListedMember& member) {
    return (member.method == QLatin1String("-lhd-") && !isLinkMember(member)) ||
           member.path.endsWith(QLatin1Char('/'));
}

namespace {

// Runs a reading command line through the module that reads `kind`.
int callReader(Archivers& archivers, ArchiveKind kind, const QString& line) {
    return formatTable(kind).reader == ArchiverModule::Lha ? archivers.Unlha(line)
                                                           : archivers.UnZip(line);
}

// The command line that extracts `members` (all when empty) of `archive` into
// `folder`; the destination is a token ending in "/", as the LHA module takes it.
QString extractLine(ArchiveKind kind, const QString& archive, const QString& folder,
                    const QStringList& members) {
    const QString destination =
        folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return CompressionRun::commandLine(QLatin1String(formatTable(kind).extractSwitch),
                                       {archive, destination}, members);
}

} // namespace

int testMembers(Archivers& archivers, ArchiveKind kind, const QString& archive,
                const QStringList& members) {
    return callReader(archivers, kind,
                      CompressionRun::commandLine(QLatin1String(formatTable(kind).testSwitch),
                                                  {archive}, members));
}

int extractMembers(Archivers& archivers, ArchiveKind kind, const QString& archive,
                   const QString& folder, const QStringList& members) {
    return callReader(archivers, kind, extractLine(kind, archive, folder, members));
}

QString bareMemberName(const QString& path, bool backslash) {
    qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    if (backslash)
        cut = std::max(cut, path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

QString readingFailureText(int code) {
    if (code > 0 && code <= ARC_MAX_SKIPPED)
        return QStringLiteral("passed over: a link, a name that cannot be made safe, or a second "
                              "member of one name");
    switch (code) {
    case kCodeMissing:
        return QStringLiteral("the archiver module is missing");
    case ARC_ERR_DISK_FULL:
        return QStringLiteral("the destination's file system is all but full");
    case ARC_ERR_CANNOT_WRITE_DEST:
    case ARC_ERR_CANNOT_WRITE_FILE:
        return QStringLiteral("the file cannot be written");
    case ARC_ERR_METHOD:
        return QStringLiteral("a method or encryption this program cannot read");
    case ARC_ERR_FILE_CRC:
        return QStringLiteral("CRC error: the data is damaged");
    case ARC_ERR_NOT_FOUND:
        return QStringLiteral("no such member");
    case ARC_ERR_BAD_DATA:
        return QStringLiteral("the compressed data is damaged");
    case ARC_ERR_HEADER_CRC:
    case ARC_ERR_HEADER_BROKEN:
        return QStringLiteral("a damaged or truncated header");
    case ARC_ERR_ARCHIVE_OPEN:
        return QStringLiteral("cannot be opened");
    case ARC_ERR_NOT_ARCHIVE:
        // Asked of a file whose first bytes are those of an archive: the rest
        // of it is not (a ZIP without its directory at the end, a download cut short).
        return QStringLiteral("damaged or cut short: not a whole LZH or ZIP archive");
    case ARC_ERR_CANNOT_READ:
        return QStringLiteral("cannot be read");
    case ARC_ERR_NO_MEMORY:
        return QStringLiteral("out of memory");
    case ARC_ERR_CANCELLED:
        return QStringLiteral("cancelled");
    default:
        return QStringLiteral("module error %1").arg(code);
    }
}

namespace {

bool taken(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

qsizetype bytesOf(const QString& text) {
    return QFile::encodeName(text).size();
}

// `name` with " (n)" before its extension (a leading dot does not start one).
// Where that would be longer than a name may be (`most` bytes), the part
// before " (n)" is cut short; an extension too long to keep is cut with it.
QString numbered(const QString& name, int n, qsizetype most) {
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        dot = name.size();
    const QString tag = QStringLiteral(" (%1)").arg(n);
    QString stem = name.left(dot), extension = name.mid(dot);
    if (bytesOf(tag) + bytesOf(extension) >= most) {
        stem = name;
        extension.clear();
    }
    while (stem.size() > 1 && bytesOf(stem) + bytesOf(tag) + bytesOf(extension) > most)
        stem.chop(stem.back().isLowSurrogate() ? 2 : 1);
    return stem + tag + extension;
}

} // namespace

QString freeNameIn(const QString& folder, const QString& name, int* number) {
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (!taken(base + name))
        return name;
    const qsizetype most = LongestNameIn(base);
    for (int n = number ? std::max(*number, 2) : 2;; ++n) {
        const QString candidate = numbered(name, n, most);
        if (!taken(base + candidate)) {
            if (number)
                *number = n + 1;
            return candidate;
        }
    }
}

QString moveWithoutReplacing(const QString& from, const QString& folder, const QString& name,
                             int* number) {
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const QByteArray source = QFile::encodeName(from);
    // A name found free may be taken before the move: the move then fails
    // with EEXIST and the next free name is tried.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString target = base + freeNameIn(base, name, number);
        const QByteArray to = QFile::encodeName(target);
        int rc =
            ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL) {
            // A file system without RENAME_NOREPLACE: a hard link, which
            // never replaces either, then the staged name goes.
            rc = ::link(source.constData(), to.constData());
            if (rc == 0)
                ::unlink(source.constData());
        }
        if (rc == 0)
            return target;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

QString makeFolderWithoutReplacing(const QString& folder, const QString& name) {
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    // Another extraction may take the free name first: mkdir then fails with
    // EEXIST and the next free name is tried.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString target = base + freeNameIn(base, name);
        if (::mkdir(QFile::encodeName(target).constData(), 0777) == 0)
            return target;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

namespace {

const char kStagingPrefix[] = ".dravonel2-extract-";
const char kLockSuffix[] = ".lock";

} // namespace

QString makeStagingFolder(const QString& parent) {
    QByteArray pattern =
        QFile::encodeName((parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/')) +
                          QLatin1String(kStagingPrefix) + QStringLiteral("XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr)
        return QString();
    return QFile::decodeName(pattern);
}

int lockStagingFolder(const QString& staging) {
    // The lock is taken under a name of its own and only then given the name
    // a sweep looks for, so no sweep ever finds it free while this run lives.
    const QByteArray lock = QFile::encodeName(staging) + kLockSuffix;
    QByteArray setUp = lock + ".XXXXXX";
    const int fd = ::mkostemp(setUp.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (!writeFolderMark(fd, QFile::encodeName(staging)) || ::flock(fd, LOCK_EX) != 0 ||
        ::renameat2(AT_FDCWD, setUp.constData(), AT_FDCWD, lock.constData(), RENAME_NOREPLACE) !=
            0) {
        ::unlink(setUp.constData());
        ::close(fd);
        return -1;
    }
    return fd;
}

void releaseStagingFolder(const QString& staging, int lock) {
    removeFolder(staging);
    if (lock >= 0) {
        ::unlink((QFile::encodeName(staging) + kLockSuffix).constData());
        ::close(lock);
    }
}

void removeStaleStagingFolders(const QString& parent) {
    for (const OwnTempFolder& f : ownTempFolders(QFile::encodeName(parent), kStagingPrefix)) {
        const QByteArray lock = f.path + kLockSuffix;
        const int fd = takeFreeLock(lock);
        if (fd < 0)
            continue;
        if (carriesFolderMark(fd, f.st) && removeFolder(QFile::decodeName(f.path)))
            ::unlink(lock.constData());
        ::close(fd);
    }
}

bool sameBytes(const QString& a, const QString& b) {
    QFile one(a), two(b);
    if (!one.open(QIODevice::ReadOnly) || !two.open(QIODevice::ReadOnly) ||
        one.size() != two.size())
        return false;
    constexpr qint64 kChunk = 1 << 20;
    for (;;) {
        const QByteArray x = one.read(kChunk), y = two.read(kChunk);
        if (x != y)
            return false;
        if (x.isEmpty())
            return one.atEnd() && two.atEnd();
    }
}

void verifyFiles(Archivers& archivers, ArchiveKind kind, const QString& archive,
                 const QStringList& files, QList<ProofFailure>& failures,
                 const QString& workFolder) {
    QStringList names;
    for (int i = 0; i < files.size(); ++i)
        if (failures.value(i) == ProofFailure::None)
            names << FileNameOf(files[i]);
    if (names.isEmpty())
        return;
    const QString folder = makeStagingFolder(workFolder);
    if (!folder.isEmpty()) {
        QByteArray unused;
        archivers.listing(formatTable(kind).reader, extractLine(kind, archive, folder, names),
                          unused);
    }
    for (int i = 0; i < files.size(); ++i) {
        if (failures.value(i) != ProofFailure::None)
            continue;
        const QString decoded = folder + QLatin1Char('/') + FileNameOf(files[i]);
        if (folder.isEmpty() || !sameBytes(decoded, files[i]))
            failures[i] = ProofFailure::NotVerified;
    }
    if (!folder.isEmpty())
        removeFolder(folder);
}

} // namespace dravonel
