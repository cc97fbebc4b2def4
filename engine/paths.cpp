#include "paths.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <QSysInfo>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace dravonel {

namespace {

constexpr qsizetype kMaxPieces = 256;

QChar separatorOf(PathStyle style) {
    return style == PathStyle::Windows ? u'\\' : u'/';
}

// The length of the valid UTF-8 sequence at `i` of `bytes`, or 0 when there is none.
qsizetype utf8SequenceAt(const QByteArray& bytes, qsizetype i) {
    const auto at = [&bytes](qsizetype k) { return uchar(bytes.at(k)); };
    const uchar lead = at(i);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong form
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;  // no overlong form
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + length > bytes.size() || at(i + 1) < low || at(i + 1) > high)
        return 0;
    for (qsizetype k = i + 2; k < i + length; ++k) {
        if (at(k) < 0x80 || at(k) > 0xBF)
            return 0;
    }
    return length;
}

// The file system's spelling of a path; empty (and unusable) for a path with a
// NUL or with bytes that were not UTF-8, which has no spelling of its own.
QByteArray encodedPath(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0)) || HoldsUndecodedBytes(path))
        return {};
    return QFile::encodeName(path);
}

// `name` with the letter case of every letter swapped.
QString swappedCase(const QString& name) {
    QString out = name;
    for (QChar& c : out)
        c = c.isUpper() ? c.toLower() : c.toUpper();
    return out;
}

// The spelling under which `folder` lists the file `st` describes, or `name`
// when no single entry of the listing is that file.
QString listedName(const QByteArray& folder, const struct stat& st, const QString& name) {
    DIR* dir = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (!dir)
        return name;
    QString listed;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_ino != st.st_ino || std::strcmp(entry->d_name, ".") == 0 ||
            std::strcmp(entry->d_name, "..") == 0)
            continue;
        listed = Utf8Name(entry->d_name);
        ++matches;
    }
    ::closedir(dir);
    return matches == 1 ? listed : name;
}

// The stored spelling of `name` inside `folder` (encoded, "" for the root), or ""
// when no entry of exactly that name exists. Names are compared as the kernel
// compares them: on a case-sensitive folder the exact name is the stored one and
// no other spelling is ever taken for it. When the name with its letter case
// swapped reaches the same file, the folder ignores case and its listing gives
// the stored spelling.
QString storedName(const QByteArray& folder, const QString& name) {
    const QByteArray exactPath = folder + '/' + QFile::encodeName(name);
    struct stat exactStat;
    if (::lstat(exactPath.constData(), &exactStat) != 0)
        return {};
    const QString swapped = swappedCase(name);
    const QByteArray swappedPath = folder + '/' + QFile::encodeName(swapped);
    struct stat swappedStat;
    if (swapped == name || ::lstat(swappedPath.constData(), &swappedStat) != 0 ||
        swappedStat.st_dev != exactStat.st_dev || swappedStat.st_ino != exactStat.st_ino)
        return name;
    return listedName(folder, exactStat, name);
}

// Whether the path (encoded, "" for the root) names a folder, links followed.
bool isFolder(const QByteArray& path) {
    struct stat st;
    return ::stat(path.isEmpty() ? "/" : path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool keepsLetterCase(char32_t c) {
    return (c >= 0xFF41 && c <= 0xFF5A) || (c >= 0x03B1 && c <= 0x03C9) ||
           (c >= 0x0430 && c <= 0x044F);
}

} // namespace

QString FileNameOf(const QString& path, PathStyle style) {
    const qsizetype last = path.lastIndexOf(separatorOf(style));
    return last < 0 ? QString() : path.mid(last + 1);
}

QString FolderOf(const QString& path, PathStyle style) {
    const QChar sep = separatorOf(style);
    const qsizetype last = path.lastIndexOf(sep);
    if (last < 0)
        return {};
    QString folder = path.left(last);
    const bool root = style == PathStyle::Windows ? folder.size() == 2 && folder.endsWith(u':')
                                                  : folder.isEmpty();
    if (root)
        folder += sep;
    return folder;
}

QString NameWithoutExt(const QString& path, PathStyle style) {
    const QString name = FileNameOf(path, style);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString ExtensionOf(const QString& path, PathStyle style) {
    const QChar sep = separatorOf(style);
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path[i] == sep)
            break;
        if (path[i] == u'.')
            return path.mid(i);
    }
    return {};
}

QString ShortPath(const QString& path, PathStyle style) {
    const QChar sep = separatorOf(style);
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] == sep) {
            pieces.append(path.mid(start, i + 1 - start));
            start = i + 1;
        }
    }
    pieces.append(path.mid(start));
    if (pieces.size() > kMaxPieces)
        return {};
    if (pieces.size() < 5)
        return path;
    const qsizetype n = pieces.size();
    return pieces[0] + pieces[1] + QStringLiteral("...") + sep + pieces[n - 2] + pieces[n - 1];
}

QString UpperName(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        out.append(QChar::fromUcs4(keepsLetterCase(c) ? c : QChar::toUpper(c)));
    }
    return out;
}

QString Utf8Name(QByteArrayView bytes) {
    // Stateless: a sequence cut short at the end reads as a replacement
    // character, as in QString::fromUtf8, instead of waiting for more bytes.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                     QStringDecoder::Flag::Stateless);
    return decoder(bytes);
}

QString DecodeOutsideName(const QByteArray& bytes) {
    QString text;
    qsizetype i = 0;
    while (i < bytes.size()) {
        qsizetype valid = i;
        while (valid < bytes.size()) {
            const qsizetype length = utf8SequenceAt(bytes, valid);
            if (length == 0)
                break;
            valid += length;
        }
        text += Utf8Name(QByteArrayView(bytes.constData() + i, valid - i));
        if (valid < bytes.size())
            text += QChar(char16_t(0xDC00 + uchar(bytes.at(valid++))));
        i = valid;
    }
    return text;
}

QString LocalFileOf(const QUrl& url) {
    if (!url.isLocalFile())
        return {};
    // "localhost" and this machine's own name name the local file; another
    // host names none here (Qt's "//host/path" is "/host/path" to the kernel).
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
        return {};
    return DecodeOutsideName(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

bool IsUndecodedByteAt(const QString& text, qsizetype i) {
    const char16_t c = text.at(i).unicode();
    return c >= 0xDC80 && c <= 0xDCFF && !(i > 0 && text.at(i - 1).isHighSurrogate());
}

bool HoldsUndecodedBytes(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsUndecodedByteAt(text, i))
            return true;
    }
    return false;
}

QString LongPath(const QString& path) {
    if (!path.startsWith(u'/') || encodedPath(path).isEmpty())
        return {};
    QStringList names;
    QByteArray folder; // the encoded result so far, "" for the root
    for (const QString& component : path.split(u'/', Qt::SkipEmptyParts)) {
        if (component == u".") {
            if (!isFolder(folder))
                return {};
            continue;
        }
        if (component == u"..") {
            // The kernel takes ".." in the folder the path has reached, after
            // following every symbolic link on the way: the parent of that
            // folder's real path, which then replaces the text so far.
            char resolved[PATH_MAX];
            if (!isFolder(folder) ||
                !::realpath(folder.isEmpty() ? "/" : folder.constData(), resolved))
                return {};
            folder = resolved;
            const qsizetype slash = folder.lastIndexOf('/');
            folder.truncate(slash < 0 ? 0 : slash);
            names = QFile::decodeName(folder).split(u'/', Qt::SkipEmptyParts);
            continue;
        }
        const QString stored = storedName(folder, component);
        if (stored.isEmpty())
            return {};
        names.append(stored);
        folder += '/' + QFile::encodeName(stored);
    }
    if (names.size() > kMaxPieces)
        return {};
    return names.isEmpty() ? QStringLiteral("/") : u'/' + names.join(u'/');
}

QString AbsolutePath(const QString& path) {
    if (path.isEmpty() || path.startsWith(u'/'))
        return path;
    const QString current = QDir::currentPath();
    return current.endsWith(u'/') ? current + path : current + u'/' + path;
}

bool CanCreateFilesIn(const QString& folder) {
    const QByteArray encoded = encodedPath(folder);
    return !encoded.isEmpty() && ::access(encoded.constData(), W_OK | X_OK) == 0;
}

QString OutputFolderProblem(const QString& folder) {
    const QByteArray encoded = encodedPath(folder);
    struct stat st;
    if (encoded.isEmpty() || ::stat(encoded.constData(), &st) != 0)
        return QStringLiteral("does not exist");
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("is not a folder");
    if (!CanCreateFilesIn(folder))
        return QStringLiteral("cannot be written into");
    return QString();
}

int OpenRegularFileForReading(const QString& path) {
    const QByteArray encoded = encodedPath(path);
    if (encoded.isEmpty())
        return -1;
    const int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool CanOpenForReading(const QString& path) {
    const int fd = OpenRegularFileForReading(path);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

qsizetype LongestNameIn(const QString& folder) {
    const long most = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return most > 0 ? most : NAME_MAX;
}

QString FreeSpaceText(const QString& path) {
    if (!path.startsWith(u'/') || path.contains(QChar(0)))
        return {};
    QString probe = path;
    for (;;) {
        struct statvfs volume;
        if (::statvfs(QFile::encodeName(probe).constData(), &volume) == 0)
            return FreeSpaceTextFor(quint64(volume.f_bavail) * quint64(volume.f_frsize));
        if ((errno != ENOENT && errno != ENOTDIR) || probe == u"/")
            return {};
        probe = FolderOf(probe, PathStyle::Posix);
    }
}

QString FreeSpaceTextFor(quint64 freeBytes) {
    if (freeBytes == 0)
        return {};
    // Dividing by a power of two is exact, so the only rounding is to single precision.
    const float mebibytes = static_cast<float>(freeBytes) / 1048576.0f;
    // A float times 10 is exact in a double, so this rounds the value as held.
    const auto tenths = static_cast<quint64>(std::floor(double(mebibytes) * 10.0 + 0.5));
    const QString digits = QString::number(tenths / 10);
    QString grouped;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += u',';
        grouped += digits[i];
    }
    return QStringLiteral(" (") + grouped + u'.' + QString::number(tenths % 10) +
           QStringLiteral("M Free)");
}

} // namespace dravonel
