#include "archive_proof.h"

#include "crc16.h"
#include "formats.h"
#include "paths.h"
#include "run.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <unistd.h>
#include <zlib.h>

#include <memory>

namespace dravonel {

namespace {

// A listed name with its "\ooo" escapes turned back into bytes.
QByteArray unescaped(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int byte = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && byte >= 0 && byte < 256) {
                out += char(byte);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

} // namespace

int listArchive(Archivers& archivers, ArchiveKind kind, const QString& archive,
                QList<ListedMember>& members) {
    members.clear();
    QByteArray text;
    const FormatTable& format = formatTable(kind);
    const int code = archivers.listing(
        format.reader, CompressionRun::commandLine(QLatin1String(format.listSwitch), {archive}),
        text);
    if (code != 0)
        return code;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 6)
            continue;
        ListedMember m;
        bool crcOk = false, sizeOk = false;
        m.crc = fields[0].toUInt(&crcOk, 16);
        m.size = fields[1].toULongLong(&sizeOk);
        if (!crcOk || !sizeOk)
            continue;
        m.method = QString::fromUtf8(fields[3]);
        m.mtime = fields[4].toLongLong();
        m.path = Utf8Name(unescaped(fields[5]));
        members.append(m);
    }
    return 0;
}

Fingerprint fingerprintOf(const QString& path, ArchiveKind kind) {
    Fingerprint print;
    // Only a regular file is read: a named pipe (or a link to one) would hold
    // the run until some writer comes, and a device such as /dev/zero would
    // be read without end.
    const int fd = OpenRegularFileForReading(path);
    if (fd < 0)
        return print;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return print;
    }
    constexpr qint64 kChunk = 1 << 20;
    const auto buffer = std::make_unique_for_overwrite<char[]>(size_t(kChunk));
    uLong crc32Value = ::crc32(0, nullptr, 0);
    uint16_t crc16Value = 0;
    for (;;) {
        const qint64 got = file.read(buffer.get(), kChunk);
        if (got < 0)
            return print;
        if (got == 0)
            break;
        if (kind == ArchiveKind::Lzh)
            crc16Value = arc::crc16Update(crc16Value, buffer.get(), size_t(got));
        else
            crc32Value =
                ::crc32_z(crc32Value, reinterpret_cast<const Bytef*>(buffer.get()), size_t(got));
        print.size += quint64(got);
    }
    print.crc = kind == ArchiveKind::Lzh ? quint32(crc16Value) : quint32(crc32Value);
    print.readable = true;
    return print;
}

bool holdsMember(const QList<ListedMember>& members, const QString& path,
                 const Fingerprint& print) {
    for (const ListedMember& m : members)
        if (m.path == path && m.size == print.size && m.crc == print.crc)
            return true;
    return false;
}

QList<ProofFailure> proveFiles(const QList<ListedMember>& members, ArchiveKind kind,
                               const QStringList& files) {
    QSet<QString> named;
    for (const ListedMember& m : members)
        named.insert(m.path);
    QList<ProofFailure> result;
    QSet<QString> seen;
    for (const QString& file : files) {
        const QString stored = FileNameOf(file);
        if (seen.contains(stored)) {
            result.append(ProofFailure::NameTaken);
            continue;
        }
        seen.insert(stored);
        const Fingerprint print = fingerprintOf(file, kind);
        if (!print.readable)
            result.append(ProofFailure::Unreadable);
        else if (holdsMember(members, stored, print))
            result.append(ProofFailure::None);
        else
            result.append(named.contains(stored) ? ProofFailure::Differs
                                                 : ProofFailure::NotInArchive);
    }
    return result;
}

QString failureText(ProofFailure failure) {
    switch (failure) {
    case ProofFailure::None:
        return QString();
    case ProofFailure::NameTaken:
        return QStringLiteral("同じ名前のファイルが先に入っています");
    case ProofFailure::Unreadable:
        return QStringLiteral("ファイルを読めません");
    case ProofFailure::NotInArchive:
        return QStringLiteral("書庫に入っていません");
    case ProofFailure::Differs:
        return QStringLiteral("書庫の中身がファイルと一致しません");
    case ProofFailure::NameTooLong:
        return QStringLiteral("書庫名が長すぎます");
    case ProofFailure::NotVerified:
        return QStringLiteral("展開した内容がファイルと一致しません");
    }
    return QString();
}

} // namespace dravonel
