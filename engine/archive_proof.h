// Proof that an archive, as committed on disk, holds the files a run put into
// it: the archive's members as its module lists them, compared by name, size
// and CRC with the bytes of each file as they are after the call. No file is
// reported archived without it.
#pragma once

#include "archivers.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace dravonel {

enum class ArchiveKind { Lzh, Zip };

// One member of a listing.
struct ListedMember {
    QString path; // the whole stored path, folders separated by "/"
    quint64 size = 0;
    quint32 crc = 0;
    QString method;    // "-lh5-", "deflate"…; LZH folders are "-lhd-"
    qint64 mtime = -1; // seconds since 1970, -1 when unknown
};

// Lists `archive` through the module that reads its kind (LHA, or the ZIP
// extractor). Returns the module's result code (0 when `members` is filled).
int listArchive(Archivers& archivers, ArchiveKind kind, const QString& archive,
                QList<ListedMember>& members);

// The size and CRC (CRC-16 for LZH, CRC-32 for ZIP) of a file's bytes as they
// are now; `readable` false when the file is no regular file (a named pipe or
// a device, also through a link) or cannot be read whole.
struct Fingerprint {
    bool readable = false;
    quint64 size = 0;
    quint32 crc = 0;
};
Fingerprint fingerprintOf(const QString& path, ArchiveKind kind);

// Why a file is not in an archive.
enum class ProofFailure {
    None,         // archived: a member of its name holds its bytes
    NameTaken,    // an earlier file of the archive has the same stored name
    Unreadable,   // the file cannot be read (any more)
    NotInArchive, // no member of its name
    Differs,      // the member of its name holds other bytes
    NameTooLong,  // the archive's name is longer than the file system allows
    NotVerified,  // the member, decoded, does not give the file's bytes back
};

// For each of `files` (full paths, in the order they went to the module):
// whether `members` holds a member under the file's bare name with the file's
// size and CRC. The second and later files of one bare name are NameTaken.
QList<ProofFailure> proveFiles(const QList<ListedMember>& members, ArchiveKind kind,
                               const QStringList& files);

// Whether `members` holds `path` with exactly that size and CRC.
bool holdsMember(const QList<ListedMember>& members, const QString& path, const Fingerprint& print);

// The reason, as the log and the terminal show it.
QString failureText(ProofFailure failure);

} // namespace dravonel
