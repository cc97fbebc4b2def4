// libunzip32.so: extracts ZIP archives.
//
//   int UnZip(void* owner, const char* cmdLine, char* output, unsigned long outputSize);
//
// Command line (UTF-8, blank-separated tokens, double quotes around a token
// with blanks):  [-x] "<archive>" "<folder>" ["<member>" ...]
// extracts the named members (all when none is named) into the folder,
// replacing files there. A member matches by its whole name (folders
// included); a name that no member has as its whole name matches the members
// whose bare file name it is.
//                -t "<archive>" ["<member>" ...]
// tests the named members (all when none is named; matched as for -x): each
// is inflated and its CRC checked, and nothing is written. Symbolic links are
// tested too; folder entries have nothing to test (an entry marked a folder
// by its attributes alone that declares data is a file, tested and extracted).
//                -l "<archive>"
// lists every member in the output buffer, one line each, as arc_module.h
// describes (32798 when the buffer is too small); a folder marked by its
// attributes alone is listed with a final "/". Any other switch, and an
// empty token (""), is refused. `owner` is ignored; the output buffer is emptied by every other
// command.
//
// Names are read as UTF-8 when the entry's UTF-8 flag is set; otherwise from
// an Info-ZIP Unicode path field that belongs to them; otherwise, from a Unix
// host, as UTF-8 when the bytes are valid UTF-8; otherwise as CP932 (Shift_JIS,
// as Japanese Windows archivers write them) when they are valid CP932, and as
// CP437 else. A name is decoded whole before it is cut into folders, so the
// second byte of a double-byte character is never taken for a separator.
// Names from Unix hosts (and macOS) are cut at "/" only, so a backslash stays
// part of the file name; names from every other host are cut at "/" and "\".
//
// Every file lands in the folder under its bare name, whatever path the
// archive holds (no "..", no absolute names); folders and symbolic-link
// entries are not extracted. When two members land on the same bare name in
// one call, the first is extracted and the later ones are passed over and
// counted. Each file is written to a temporary file and renamed into place
// only when its CRC-32 is right, so a file already there is never
// half-overwritten nor written through a symbolic link. A file gets the
// permission bits a Unix host stored for it (rwx only, never setuid, setgid or
// sticky); files from other hosts get 0666 less the umask.
//
// Extraction stops with 32773 before the destination's file system fills: a
// member whose declared size, or whose data as it comes, would leave less than
// a small reserve of the space free is not written, and nothing of it stays.
// Data running past its declared size is damaged data (32788).
//
// Results: 0 success; 1..32767 the number of members passed over (symbolic
// links, names that cannot be made safe, a second member of a name); and
//   32773 disk full                     32777 unsupported method or encryption
//   32780 a member fails its CRC        32783 no member matched
//   32787 a file cannot be written      32788 compressed data is damaged
//   32791 a header is truncated or inconsistent
//   32792 the archive cannot be opened  32793 not a ZIP archive
//   32794 the archive cannot be read    32796 malformed command line
//   32797 out of memory                 32798 the listing does not fit
//   32799 a call is already in progress
//   32800 cancelled by the progress callback
// After a failure the other members are still extracted, unless the failure
// stops all writing (disk full, cancel, a file that cannot be written).
#pragma once

#include "arc_module.h"
