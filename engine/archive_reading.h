// Reading archives through the modules: which format a file holds (by its
// bytes, whatever its name), testing members, and extracting them so that no
// file already there is ever replaced.
//
// Extraction goes first into a folder of its own inside the destination
// (".dravonel2-extract-XXXXXX"), where the module writes each member under its
// bare name; each finished file is then moved into the destination under its
// name, or, when that name is taken, under "NAME (2).EXT", "NAME (3).EXT"…,
// the first that is free. The move never replaces anything (renameat2 with
// RENAME_NOREPLACE), so a file that appears meanwhile is not lost either.
#pragma once

#include "archive_proof.h"
#include "archivers.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dravonel {

// The format of `path` by its first bytes: an LZH header ("-lh?-"/"-lz?-" at
// offset 2) or a ZIP record ("PK\3\4", or "PK\5\6" for an empty archive).
// None when it is neither, or cannot be read.
std::optional<ArchiveKind> sniffArchive(const QString& path);

// Whether a listed member is a symbolic link: an LZH folder entry named
// "link|target", as LHa for UNIX stores one (never extracted).
bool isLinkMember(const ListedMember& member);

// Whether a listed member is a folder (nothing to test or extract).
bool isFolderMember(const ListedMember& member);

// Tests `members` of `archive` (whole stored paths; all when empty): each is
// decoded and its CRC checked, nothing written. The module's result code.
int testMembers(Archivers& archivers, ArchiveKind kind, const QString& archive,
                const QStringList& members = {});

// Extracts `members` of `archive` (whole stored paths; all when empty) into
// `folder`, through the module's call (with the installed progress handler).
// The module's result code.
int extractMembers(Archivers& archivers, ArchiveKind kind, const QString& archive,
                   const QString& folder, const QStringList& members = {});

// The last part of a stored path, as extraction names the file ("/"
// separates folders; "\\" too when `backslash`).
QString bareMemberName(const QString& path, bool backslash);

// What a module's result code of a reading call means, for the terminal.
QString readingFailureText(int code);

// A free name for `name` in `folder`: `name` itself when nothing there has it,
// else "STEM (N).EXT" with the smallest N that is free, from `*number` up
// (from 2 when `number` is null), STEM cut short where the name would be
// longer than the folder's file system allows. `*number` is then set past the
// N given, so that a caller placing many files of one name does not try
// again, for each, the numbers it gave the ones before.
QString freeNameIn(const QString& folder, const QString& name, int* number = nullptr);

// Moves `from` to `folder` under freeNameIn(folder, name, number) without
// ever replacing a file; returns the path it got, or "" when it could not be
// moved (`from` then stays).
QString moveWithoutReplacing(const QString& from, const QString& folder, const QString& name,
                             int* number = nullptr);

// Makes the folder freeNameIn(folder, name) in `folder`, the next free name
// when another process takes that one first; returns its path, or "" when no
// folder can be made.
QString makeFolderWithoutReplacing(const QString& folder, const QString& name);

// Decodes the members of `archive` that hold `files` (under their bare names)
// into a folder of its own inside `workFolder` and compares each byte for byte
// with its file; a file proven so far (`failures` None) whose member does not
// decode, or decodes to other bytes, becomes NotVerified. The module is called
// as for a listing, so this may run on any thread beside other calls. The
// decoded copies are removed.
void verifyFiles(Archivers& archivers, ArchiveKind kind, const QString& archive,
                 const QStringList& files, QList<ProofFailure>& failures,
                 const QString& workFolder);

// Whether two files hold the same bytes (false when either cannot be read).
bool sameBytes(const QString& a, const QString& b);

// A new empty folder "<parent>/.dravonel2-extract-XXXXXX" (mode 0700), or ""
// when none can be made there.
QString makeStagingFolder(const QString& parent);

// A staging folder made in a folder of the user's is marked as live by
// "<folder>.lock" beside it, a file that carries the folder's mark
// (writeFolderMark) and that this process holds a lock on until
// releaseStagingFolder(); lockStagingFolder returns the lock's descriptor, or
// -1 when it cannot be made (the folder then stays unmarked: no sweep takes
// it). releaseStagingFolder removes the folder, then the lock file.
int lockStagingFolder(const QString& staging);
void releaseStagingFolder(const QString& staging, int lock);

// Removes from `parent` the staging folders of extractions that were killed:
// folders named exactly as makeStagingFolder names them, of this user, whose
// lock file is there, free and carries the folder's mark. Every other entry
// is left alone: a folder and lock of those names extracted from archives too.
void removeStaleStagingFolders(const QString& parent);

} // namespace dravonel
