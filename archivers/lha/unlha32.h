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
 *                 (with either, one member replaces every member of its path)
 *              l  list every member in the output buffer, one line each, as
 *                 arc_module.h describes (32798 when the buffer is too small)
 *              x, e  extract members (all when none is named, else those whose whole
 *                 stored path is named) into the folder given as a token ending in
 *                 "/" (the current folder otherwise)
 *              t  test members (all when none is named, else those whose whole
 *                 stored path is named): each is decoded and its CRC checked, as
 *                 x does, and nothing is written
 *   Switches:  -+       accepted, no effect
 *              -a0 -a1  without -a1, hidden files (name beginning with ".") are skipped
 *              -z -z1   store the files (-lh0-)
 *              -o5 -o6 -o7  method -lh5- (default, 8 KiB window), -lh6- (32 KiB), -lh7- (64 KiB)
 *              -9       maximum compression: an optimal parse instead of the default
 *                       one over a few hash-chain matches per position, 1-4 % smaller
 *                       for about four times the CPU time
 *              -mt<N>   at most N threads (1 to 64) at once for this call, the calling
 *                       thread included (default: one per core, at most four): small
 *                       files are compressed side by side, a large one in segments side
 *                       by side; the archive is the same whatever N. A caller that makes
 *                       several archives at once shares its thread budget out this way
 *              -w<dir>  folder for the temporary archive while it is written
 *   Anything else is refused with 32796. "@path" names a response file: one path a
 *   line, in double quotes. After "--" every token is a file or member name (one
 *   that begins with "-" or "@", or ends with "/", included).
 *
 * Archives
 *   Level-2 headers with the CRC-16 of each member, the file's modification time,
 *   its bare name (the part of the path after the last "/": no folder; see Names)
 *   and its permission bits (extension 0x50; setuid, setgid and sticky are left
 *   out). A header whose length would be a multiple of 256 (it would start with a
 *   zero byte, the end mark) also carries the Unix time extension 0x54 (which LHa
 *   for UNIX itself writes in level-1 headers), which lhasa, 7z and bsdtar read
 *   too. A member is stored (-lh0-) when compression does not make it smaller;
 *   data that looks like noise (compressed files, photos, random bytes) is stored
 *   without being compressed first (lzh_writer.h).
 *   Members of 4 GiB and more carry 64-bit sizes (extension 0x42): LHa for UNIX,
 *   jlha and this module read them; lhasa 0.3.1 and 7z take only their low 32 bits
 *   (lhasa extracts 1 GiB of a 5 GiB member and reports success). Reading also
 *   takes level-0 and level-1 headers (a level-0 Unix extension area included),
 *   the folder extension 0x02, and -lh0-, -lh5-, -lh6- and -lh7- data.
 *   An update matches a listed file with the member whose whole stored path,
 *   folders included, is the file's bare name; every other member (one in a
 *   folder, of another name, or of another tool) is copied byte for byte. An
 *   updated archive keeps its permission bits; an archive its owner may not write
 *   is refused with 32774 and left as it is. So is an archive that another call
 *   or program replaced (or made) while this one read it and wrote the update:
 *   of two updates at once, the one that would drop the other's files fails
 *   instead. A FIFO, device or socket that is listed is never opened for
 *   waiting: it is skipped and counted.
 *   Extraction drops the folders of member names, so files land only in the
 *   destination folder; when two members land on one name in a call, the first
 *   is extracted and the later ones are passed over and counted. It restores
 *   stored permission bits (never setuid, setgid or sticky; 0666 less the umask
 *   without them) and stops with 32773, leaving no file behind, when a member's
 *   declared size or its bytes as they come would leave the destination's file
 *   system all but full (an LZH bomb cannot fill it).
 *
 * Names
 *   Written so that every reader finds what it looks for (bsdtar takes the last
 *   of the code-page and UTF-16 headers for its character set and the last of
 *   the name headers for the name; LHa for UNIX, lhasa and 7z read only the
 *   name field; lsar guesses one encoding for all the name fields of an
 *   archive, so they are all in one):
 *   - the name field holds the name in Shift_JIS (code page 932), with "_" for
 *     each character Shift_JIS lacks, after the code-page extension 0x46 (932);
 *     a name of ASCII alone, the same in every code page, goes without 0x46;
 *   - a name with such a character also gets the UTF-16LE name extension 0x44,
 *     after the name field;
 *   - the OS id is 'M' (MS-DOS, what Windows LHA tools expect) when the name
 *     field holds a byte beyond ASCII and the name no "\"; else 'U' (Unix: lhasa
 *     lower-cases all-capital names under 'M', and "\" separates folders there);
 *   - a name that is not UTF-8 goes as its own bytes under 'U', without 0x46.
 *   Reading, in order: the UTF-16LE extensions 0x44 (name) and 0x45 (folders,
 *   separated by the unit 0xFFFF); else the code page of 0x46 (any that iconv
 *   knows as CP<n>; 65001 is UTF-8); else the OS id. 'U' names of level-2
 *   headers with only the extensions this module writes (00, 01, 42, 44, 46,
 *   50, 54), as its earlier releases wrote UTF-8 names, are UTF-8, else their
 *   bytes; other 'U' names (LHa for UNIX: level 0 or 1, or its owner
 *   extension 0x51) are Shift_JIS, as LHa for UNIX writes them by default, else
 *   the bytes as they are (UTF-8 from its UTF-8 kanji code, when they are not
 *   valid Shift_JIS). Every other id is Shift_JIS. Bytes that the chosen
 *   encoding cannot decode (or in a code page iconv does not know) read with
 *   "_" for each byte beyond ASCII. So every
 *   name written reads back as the same name; one holding a control character,
 *   which extraction refuses, is skipped and counted. "/" and the byte 0xFF
 *   separate folders; "\" does too, except in level-1 and level-2 headers
 *   under 'U', where it belongs to the name (lhasa keeps it; 7z cuts there).
 *   Two listed files with the same name: the first is stored, the second skipped.
 *
 * Results
 *   0      success
 *   1-32767  the archive was made; that many listed files were skipped (unreadable,
 *          vanished, not a regular file, hidden without -a1, a name that would not
 *          read back, a second file of the same name, or the archive itself)
 *   32773  disk full, or an extracted member would fill the destination
 *   32774  the archive cannot be written there, its owner may not write it, or
 *          another call or program replaced it meanwhile
 *   32777  a member uses an unknown method  32780  a member fails its CRC check
 *   32783  nothing to store (no file could be read) or no member of that name
 *   32787  an extracted file cannot be written
 *   32788  damaged compressed data       32790  a header fails its check
 *   32791  a header is truncated or inconsistent
 *   32792  the archive cannot be opened  32793  not an LZH archive
 *   32794  a response file or the archive cannot be read (a response file that
 *          is not a regular file, or holds a NUL byte, is not read)
 *   32796  bad command line              32797  out of memory
 *   32798  the listing does not fit the output buffer
 *   32799  the module is already in a call  32800  cancelled by the progress hook
 *   A failed or cancelled call leaves an earlier archive as it was, and no partial
 *   archive or extracted file behind.
 */
#pragma once

#include "arc_module.h"
