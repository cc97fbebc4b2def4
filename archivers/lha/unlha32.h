/* libunlha32.so: the LHA archiver module.
 *
 * Exports
 *   int Unlha(void* owner, const char* cmdLine, char* output, unsigned long outputSize);
 *       Runs one command line (UTF-8). `owner` is ignored; when an output buffer
 *       is given it receives an empty text. Returns a result code (below).
 *   int UnlhaGetRunning(void);        non-zero while a call is in progress
 *   unsigned short UnlhaGetVersion(void);   100 (version 1.00)
 *   void UnlhaSetProgress(ArcProgressFn fn, void* user);
 *       Installs the progress hook (module.h): called with the member's name and
 *       the bytes done of the call's total; a non-zero return cancels (32800).
 *
 * Command line
 *   <command> [switches] <archive> [files | @responsefile | member names | folder/]
 *   Commands:  u  add files not in the archive, replace members whose file is newer
 *              a  add files, replacing members of the same name
 *              x, e  extract members (all when none is named) into the folder given
 *                 as a token ending in "/" (the current folder otherwise)
 *   Switches:  -+       accepted, no effect
 *              -a0 -a1  without -a1, hidden files (name beginning with ".") are skipped
 *              -z -z1   store the files (-lh0-)
 *              -o5 -o6 -o7  method -lh5- (default, 8 KiB window), -lh6- (32 KiB), -lh7- (64 KiB)
 *              -w<dir>  folder for the temporary archive while it is written
 *   Anything else is refused with 32796. "@path" names a response file: one path a
 *   line, in double quotes.
 *
 * Archives
 *   Level-2 headers with the CRC-16 of each member, the file's modification time
 *   and its bare name (no folder). A member is stored (-lh0-) when compression does
 *   not make it smaller. Members of 4 GiB and more carry 64-bit sizes (extension
 *   0x42; lhasa reads them, 7z takes only their low 32 bits). Reading also takes
 *   level-0 and level-1 headers and -lh0-, -lh5-, -lh6- and -lh7- data; folders in
 *   member names are dropped, so files land only in the destination folder.
 *
 * Names
 *   A name is stored in Shift_JIS (code page 932) when every one of its
 *   characters has a Shift_JIS form, which is what Japanese LHA tools read; other
 *   names are stored as UTF-8. When reading, a name that is valid UTF-8 is taken as
 *   UTF-8, anything else as Shift_JIS. Two listed files with the same name: the
 *   first is stored, the second skipped.
 *
 * Results
 *   0      success
 *   1-32767  the archive was made; that many listed files were skipped (unreadable,
 *          vanished, hidden without -a1, or a second file of the same name)
 *   32773  disk full                      32774  the archive cannot be written there
 *   32777  a member uses an unknown method  32780  a member fails its CRC check
 *   32783  nothing to store (no file could be read) or no member of that name
 *   32787  an extracted file cannot be written
 *   32788  damaged compressed data       32790  a header fails its check
 *   32791  a header is truncated or inconsistent
 *   32792  the archive cannot be opened  32793  not an LZH archive
 *   32794  a response file or the archive cannot be read
 *   32796  bad command line              32797  out of memory
 *   32799  the module is already in a call  32800  cancelled by the progress hook
 *   A failed or cancelled call leaves an earlier archive as it was, and no partial
 *   archive or extracted file behind.
 */
#pragma once

#include "module.h"

ARC_EXPORT int Unlha(void* owner, const char* cmdLine, char* output, unsigned long outputSize);
ARC_EXPORT int UnlhaGetRunning(void);
ARC_EXPORT unsigned short UnlhaGetVersion(void);
ARC_EXPORT void UnlhaSetProgress(ArcProgressFn fn, void* user);
