// libzip32j.so: makes and updates ZIP archives.
//
//   int Zip(void* owner, const char* cmdLine, char* output, unsigned long outputSize);
//
// The command line is UTF-8: blank-separated tokens, double quotes around a
// token with blanks. Switches:
//   -j          store bare file names (required: archives hold no folders)
//   -S          include hidden files (names beginning with "."); without it
//               they are skipped and counted
//   -0          store without compression; -1 ... -9 deflate levels (default 6):
//               -1 ... -8 are libdeflate's levels; -9 takes the module's own
//               deflate encoder for text, libdeflate's near-optimal parser for
//               binary data and its deepest lazy search for other long runs
//               (deflate_pieces.h)
//   -utf8       every name beyond ASCII in UTF-8 with the UTF-8 flag (below)
//   -mt<N>      at most N threads (1 to 64) at once for this call, the calling
//               thread included (default: one per core, at most four); a
//               caller that makes several archives at once shares its thread
//               budget out this way

//   -i@<file>   add the files listed in a response file (one "path" a line)
// The first other token is the archive, the rest are files to add. Any other
// switch, and an empty token (""), is refused. `owner` and the output buffer are ignored.
//
// Each file is stored under its Linux file name, everything after the last "/"
// (a backslash is part of the name). A name beyond ASCII that CP932 (Shift_JIS)
// holds goes in CP932 without the UTF-8 flag, which Japanese Windows tools that
// predate the flag (and Explorer before Windows 10) read, with the Info-ZIP
// Unicode Path field (0x7075, in the local and the central header, with the
// CRC-32 of the CP932 name) giving its UTF-8 form to the readers that know the
// field (unzip, 7z, bsdtar, lsar, this module); any other name, and every name
// with -utf8, goes in UTF-8 with the UTF-8 flag, which readers since Windows 10
// and Python's zipfile read. A name that is not UTF-8 goes as its bytes,
// without the flag. Files are stored with their permission bits in the external
// attributes and "version made by" Unix. An existing archive is updated: an
// entry whose whole name (folders included, decoded as UnZip() in unzip32.h
// reads it, so a Shift_JIS name matches too) equals the name of a new file is
// replaced, unless it holds the file's bytes already (the same size, and
// decoded byte for byte the same), whatever the times say. Every other entry,
// and one that holds its file's bytes, is kept: its local header and data byte
// for byte, its central record with the same name bytes, attributes and extra
// fields (only its offset, and the ZIP64 field that holds it, may change). A
// call whose files all have such entries leaves the archive untouched.
//
// libzip32j.so works only with libizip32j.so beside it (in the same folder),
// which holds the archive engine.
//
// Results: 0 success; 1..32767 the number of files skipped (hidden without
// -S, unreadable, not a regular file such as a FIFO or a device, a second file
// with a name already stored, a name extraction would not give back: one with
// a control character, or not UTF-8, the archive being updated itself) while
// the archive was still made; and
//   32773 disk full                     32774 the archive cannot be written,
//                                            or was replaced meanwhile
//   32783 no file could be stored       32791 the existing archive is damaged
//   32792 the existing archive cannot be opened
//   32793 the existing file is not a ZIP archive
//   32794 the response file cannot be read (or is not a regular file,
//         or holds a NUL byte)
//   32795 libizip32j.so is missing or unusable
//   32796 malformed command line or unknown switch
//   32797 out of memory                 32799 a call is already in progress
//   32800 cancelled by the progress callback
// On every failure an existing archive stays as it was. An existing archive
// keeps its permission bits; a new one gets 0666 less the umask. An archive
// whose owner has no write permission on it (mode bits, so root is refused
// too), or that the caller may not write, is refused with 32774; so is an
// archive that another call or program replaced (or made) while this call read
// it and wrote the update, which would otherwise drop the other's files. A
// call killed half-way leaves no temporary file behind where the file system
// supports nameless temporary files.
#pragma once

#include "arc_module.h"
