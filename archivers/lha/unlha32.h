/* libunlha32.so: the LHA archiver module.
 *
 * Exports
 *   int Unlha(void* owner, const char* cmdLine, char* output, unsigned long outputSize);
 *       Runs one command line (UTF-8). `owner` is ignored; an output buffer receives
 *       the listing of `l`, an empty text otherwise. Returns a result code (below).
 *   int UnlhaGetRunning(void);        non-zero while a call is in progress
 *   unsigned short UnlhaGetVersion(void);   100 (version 1.00)
 *   void UnlhaSetProgress(ArcProgressFn fn, void* user);
 *       Installs the progress hook (module.h): called with the member's name and
 *       the bytes done of the call's total; a non-zero return cancels (32800).
 *
 * Command line
 *   <command> [switches] <archive> [files | @responsefile | member names | folder/]
 *   Commands:  u  add files not in the archive, replace members whose file holds other
 *                 bytes (another size or CRC), whatever the times say
 *              a  add files, replacing members of the same name
 *              l  list every member in the output buffer, one line each, as
 *                 arc_module.h describes (32798 when the buffer is too small)
 *              x, e  extract members (all when none is named, else those whose whole
 *                 stored path is named) into the folder given as a token ending in
 *                 "/" (the current folder otherwise)
 *   Switches:  -+       accepted, no effect
 *              -a0 -a1  without -a1, hidden files (name beginning with ".") are skipped
 *              -z -z1   store the files (-lh0-)
 *              -o5 -o6 -o7  method -lh5- (default, 8 KiB window), -lh6- (32 KiB), -lh7- (64 KiB)
 *              -9       maximum compression: an optimal parse instead of the default
 *                       one over a few hash-chain matches per position, 1-4 % smaller
 *                       for about four times the CPU time, on two threads
 *              -w<dir>  folder for the temporary archive while it is written
 *   Anything else is refused with 32796. "@path" names a response file: one path a
 *   line, in double quotes.
 *
 * Archives
 *   Level-2 headers with the CRC-16 of each member, the file's modification time,
 *   its bare name (the part of the path after the last "/": no folder) and its
 *   permission bits (extension 0x50; setuid, setgid and sticky are left out). A
 *   member is stored (-lh0-) when compression does not make it smaller. Members of
 *   4 GiB and more carry 64-bit sizes (extension 0x42): jlha and this module read
 *   them; lhasa 0.3.1 and 7z take only their low 32 bits (lhasa extracts 1 GiB of a
 *   5 GiB member and reports success). Reading also takes level-0 and level-1
 *   headers (a level-0 Unix extension area included), the folder extension 0x02,
 *   and -lh0-, -lh5-, -lh6- and -lh7- data.
 *   An update matches a listed file with the member whose whole stored path,
 *   folders included, is the file's bare name; every other member (one in a
 *   folder, of another name, or of another tool) is copied byte for byte. An
 *   updated archive keeps its permission bits; an archive its owner may not write
 *   is refused with 32774 and left as it is. A FIFO, device or socket that is
 *   listed is never opened for waiting: it is skipped and counted.
 *   Extraction drops the folders of member names, so files land only in the
 *   destination folder; it restores stored permission bits (never setuid, setgid
 *   or sticky; 0666 less the umask without them) and stops with 32773, leaving no
 *   file behind, when a member's declared size or its bytes as they come would
 *   leave the destination's file system all but full (an LZH bomb cannot fill it).
 *
 * Names
 *   The OS id of a header says how its name is encoded. A name with characters
 *   beyond ASCII goes in Shift_JIS (code page 932) under OS id 'M' (MS-DOS), which
 *   is what Japanese LHA tools on DOS and Windows read, when every character has a
 *   Shift_JIS form and the name holds no "\"; any other name, ASCII ones included
 *   (lhasa lower-cases all-capital names under 'M'), goes as its own bytes (UTF-8)
 *   under OS id 'U' (Unix). Reading: 'U' names are UTF-8 when valid, else EUC-JP, else Shift_JIS,
 *   else the bytes as they are; names under every other id are Shift_JIS (else
 *   UTF-8, else "_" for each byte that is not ASCII). So every name written reads
 *   back as the same name; a file whose name would not (its bytes are not UTF-8
 *   but read as EUC-JP or Shift_JIS, or it holds a control character, which
 *   extraction refuses) is skipped and counted. "/" and the byte
 *   0xFF separate folders; "\" does too, except in level-1 and level-2 headers
 *   under 'U', where it belongs to the name (lhasa keeps it; 7z cuts there).
 *   Two listed files with the same name: the first is stored, the second skipped.
 *
 * Results
 *   0      success
 *   1-32767  the archive was made; that many listed files were skipped (unreadable,
 *          vanished, not a regular file, hidden without -a1, a name that would not
 *          read back, or a second file of the same name)
 *   32773  disk full, or an extracted member would fill the destination
 *   32774  the archive cannot be written there, or its owner may not write it
 *   32777  a member uses an unknown method  32780  a member fails its CRC check
 *   32783  nothing to store (no file could be read) or no member of that name
 *   32787  an extracted file cannot be written
 *   32788  damaged compressed data       32790  a header fails its check
 *   32791  a header is truncated or inconsistent
 *   32792  the archive cannot be opened  32793  not an LZH archive
 *   32794  a response file or the archive cannot be read
 *   32796  bad command line              32797  out of memory
 *   32798  the listing does not fit the output buffer
 *   32799  the module is already in a call  32800  cancelled by the progress hook
 *   A failed or cancelled call leaves an earlier archive as it was, and no partial
 *   archive or extracted file behind.
 */
#pragma once

#include "arc_module.h"
