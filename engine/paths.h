// Path and name routines: splitting a path into folder, name and extension, the
// upper-casing of archive names, the shortened display form of a path, the long form
// of a path as the file system spells it, a readability test and the free-space
// suffix of a volume.
#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

namespace dravonel {

// How a path is spelt. Posix: "/" separates components and a root is "/". Windows:
// "\" separates components and a drive root is "C:\". The program uses Native; the
// text routines take a style so that the same rules can be applied to either form.
enum class PathStyle { Posix, Windows, Native = Posix };

// The text after the last separator; "" when there is none or the path ends with one.
QString FileNameOf(const QString& path, PathStyle style = PathStyle::Native);

// The text before the last separator, "" when there is none. A root keeps its
// separator: "/report.txt" gives "/", "C:\report.txt" gives "C:\".
QString FolderOf(const QString& path, PathStyle style = PathStyle::Native);

// FileNameOf without the text from its last "." on; the whole name when it has no
// ".", so ".profile" gives "" and "archive.tar.gz" gives "archive.tar".
QString NameWithoutExt(const QString& path, PathStyle style = PathStyle::Native);

// The text from the last "." of the file name to the end, dot included; "" when the
// file name has no "." (a dot in a folder name does not count).
QString ExtensionOf(const QString& path, PathStyle style = PathStyle::Native);

// The display form of a path for log lines. The path is cut after every separator
// into pieces that keep their separator, the file name being the last piece; a root
// ("/" or "C:\") is the first piece. With fewer than five pieces the path is returned
// unchanged; otherwise the first two pieces, "..." with a separator, and the last two
// pieces: "/a/b/c/d/f.txt" gives "/a/.../d/f.txt", "C:\a\b\c\d\f.txt" gives
// "C:\a\...\d\f.txt". More than 256 pieces give "".
QString ShortPath(const QString& path, PathStyle style = PathStyle::Native);

// Upper-cases every character by its one-to-one (simple) Unicode mapping, except the
// full-width Latin small letters U+FF41..U+FF5A, the Greek small letters
// U+03B1..U+03C9 and the Cyrillic small letters U+0430..U+044F, which stay as they
// are. Characters without a one-to-one upper-case form (such as "ß", whose full
// upper-case form is "SS") stay unchanged, so an archive name keeps its length.
QString UpperName(const QString& text);

// The long form of an absolute path: every component spelt as the folder that
// holds it stores it, no trailing separator except for the root "/". Doubled
// separators and "." are dropped; ".." means what it means to the kernel: the
// parent of the folder reached so far with its symbolic links followed, so
// "/p/link/../f" with "/p/link" a link to "/q/d" is "/q/f". Symbolic links
// that no ".." follows are kept as given, not resolved. Names compare as the
// file system compares them: on a case-sensitive folder only the exact name is
// found (on a folder that ignores case, the spelling it stores is given).
// Returns "" for a relative path, a missing component or more than 256
// components.
QString LongPath(const QString& path);

// A name or path from outside the program (an argument, a line of a job file)
// as text: valid UTF-8 as it is, and each byte of a sequence that is not valid
// UTF-8 as the lone surrogate U+DC80..U+DCFF of that byte, so such a name
// never reads as another one (as U+FFFD would: the file "\uFFFD.txt" for the
// bytes "\xFF.txt") and shows with its bytes on a terminal (TerminalText).
QString DecodeOutsideName(const QByteArray& bytes);

// UTF-8 bytes of a name as text, a U+FEFF at its start kept: a Linux name may
// begin with one, which QString::fromUtf8 and QFile::decodeName would drop as
// a byte-order mark and so name another file.
QString Utf8Name(QByteArrayView bytes);

// Whether `text` holds a byte that DecodeOutsideName kept undecoded. Such a name
// names no file the program can reach: LongPath, CanOpenForReading and
// CanCreateFilesIn refuse it.
bool HoldsUndecodedBytes(const QString& text);
// Whether the unit at `i` of `text` is such a byte (a lone U+DC80..U+DCFF).
bool IsUndecodedByteAt(const QString& text, qsizetype i);

// The local path of a file URL ("file:///home/a/b%20c.txt"), with the bytes
// its percent escapes spell decoded by DecodeOutsideName; "" for a URL that is
// not a local file. A host part may be empty, "localhost" or this machine's
// name; a URL of another host is no local file.
QString LocalFileOf(const QUrl& url);

// `path` made absolute against the process's current folder, its text otherwise
// unchanged: ".." stays for LongPath, which lets the kernel resolve it (a text
// clean-up would take "link/.." for the folder that holds the link). "" stays "".
QString AbsolutePath(const QString& path);

// A descriptor open for reading (to be closed by the caller) when `path` is a
// regular file that can be read, else -1 (a folder, a device, a missing or
// unreadable file). Opened without waiting, so that a named pipe, also behind a
// link, never holds the caller until some writer comes.
int OpenRegularFileForReading(const QString& path);

// True only for a regular file that can be opened for reading (a folder, a device, a
// missing or unreadable file give false).
bool CanOpenForReading(const QString& path);

// The longest name, in bytes, the file system of `folder` takes for one entry
// (NAME_MAX where it does not say).
qsizetype LongestNameIn(const QString& folder);

// True when this user may make files in `folder` (write and search rights).
bool CanCreateFilesIn(const QString& folder);

// Why files cannot be made in the output folder `folder` ("does not exist",
// "is not a folder", "cannot be written into"), or "" when they can.
QString OutputFolderProblem(const QString& folder);

// The free-space suffix of the volume that holds an absolute path (or, when the path
// does not exist yet, its nearest existing folder): FreeSpaceTextFor of the bytes
// available to the user there. "" when the volume cannot be asked.
QString FreeSpaceText(const QString& path);

// " (1,234.5M Free)" for 1,294,467,072 bytes: the bytes divided by 2^20, held as a
// single-precision number and rounded half away from zero to one decimal, with ","
// between thousands. "" for 0 bytes.
QString FreeSpaceTextFor(quint64 freeBytes);

} // namespace dravonel
