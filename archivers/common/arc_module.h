/* The archiver modules' binary interface, in plain C: what the program loads
 * from libunlha32.so, libzip32j.so (with libizip32j.so beside it) and
 * libunzip32.so, and what every module exports.
 *
 * Each module has one operation that runs a UTF-8 command line, a running
 * query (non-zero while a call is in progress), a version query (hundredths:
 * 100 = 1.00) and a progress hook. The plain operation is one call at a time
 * (a second one is refused with 32799) and reports to the installed hook; the
 * same operation with "Run" after its name takes a hook of its own and may run
 * side by side with other such calls on other threads. The command-line
 * grammar and each module's commands are described in unlha32.h, zip32j.h and
 * unzip32.h.
 *
 * A listing command (unlha32.h, unzip32.h) hands its text back in the
 * caller's output buffer, NUL-terminated: one line a member,
 *   <crc> TAB <size> TAB <packed size> TAB <method> TAB <mtime> TAB <name> LF
 * with the CRC in lower-case hexadecimal (4 digits, the CRC-16 of LZH; 8, the
 * CRC-32 of ZIP), the sizes and the modification time (seconds since 1970, -1
 * when unknown) in decimal, and the member's whole stored path as UTF-8,
 * folders separated by "/", in which every byte below 0x20, DEL and the
 * backslash itself stand as a backslash and three octal digits ("\033").
 *
 * Result codes: 0 success; 1 to 32767 the number of listed files that were
 * skipped while the archive was still made; everything from 32768 up is a
 * failure. The numbering is the one the archiver-library interface has always
 * used, so callers written for it read the codes the same way. */
#ifndef DRAVONEL2_ARC_MODULE_H
#define DRAVONEL2_ARC_MODULE_H

#ifdef __cplusplus
extern "C" {
#endif

#define ARC_EXPORT __attribute__((visibility("default")))

enum ArcResult {
    ARC_OK = 0,
    ARC_MAX_SKIPPED = 32767,           /* skipped-file counts saturate here */
    ARC_ERR_DISK_FULL = 32773,         /* no space left for the output */
    ARC_ERR_CANNOT_WRITE_DEST = 32774, /* the destination (folder or file) cannot be written */
    ARC_ERR_METHOD = 32777,            /* a member uses a method this module cannot read */
    ARC_ERR_FILE_CRC = 32780,          /* a member's data does not match its CRC */
    ARC_ERR_NOT_FOUND = 32783,         /* no file could be stored, or no member matched */
    ARC_ERR_CANNOT_WRITE_FILE = 32787, /* an extracted file could not be written */
    ARC_ERR_BAD_DATA = 32788,          /* compressed data is damaged */
    ARC_ERR_HEADER_CRC = 32790,        /* a header fails its own check */
    ARC_ERR_HEADER_BROKEN = 32791,     /* a header is truncated or inconsistent */
    ARC_ERR_ARCHIVE_OPEN = 32792,      /* the archive to read cannot be opened */
    ARC_ERR_NOT_ARCHIVE = 32793,       /* the file is not an archive of this format */
    ARC_ERR_CANNOT_READ = 32794,       /* reading the archive or the response file failed */
    ARC_ERR_ENGINE_MISSING = 32795,    /* libzip32j.so: libizip32j.so is missing or unusable */
    ARC_ERR_COMMAND = 32796,           /* unknown command or switch, malformed command line */
    ARC_ERR_NO_MEMORY = 32797,         /* memory could not be allocated */
    ARC_ERR_OUTPUT_SMALL = 32798,      /* the text does not fit the output buffer, which
                                          then holds the size it needs, in decimal */
    ARC_ERR_ALREADY_RUNNING = 32799,   /* the module is already inside a call */
    ARC_ERR_CANCELLED = 32800          /* the progress hook asked to stop */
};

/* Called while a module works: the member being processed and the bytes done of
 * the total for the whole call. A non-zero return cancels the call (32800). */
typedef int (*ArcProgressFn)(void* user, const char* member, unsigned long long done,
                             unsigned long long total);

/* The four kinds of operation every module exports, as the program resolves them. */
typedef int (*ArcCommandFn)(void* owner, const char* cmdLine, char* output,
                            unsigned long outputSize);
typedef int (*ArcRunningFn)(void);
typedef unsigned short (*ArcVersionFn)(void);
typedef void (*ArcSetProgressFn)(ArcProgressFn fn, void* user);
/* The operation with a progress hook of its own (null: no progress). */
typedef int (*ArcRunFn)(void* owner, const char* cmdLine, char* output, unsigned long outputSize,
                        ArcProgressFn progress, void* user);

/* The five exports of a module whose operation is NAME: NAME, NAME##Run,
 * NAME##GetRunning, NAME##GetVersion and NAME##SetProgress. */
#define ARC_MODULE_FUNCTIONS(NAME)                                                                 \
    ARC_EXPORT int NAME(void* owner, const char* cmdLine, char* output, unsigned long outputSize); \
    ARC_EXPORT int NAME##GetRunning(void);                                                         \
    ARC_EXPORT unsigned short NAME##GetVersion(void);                                              \
    ARC_EXPORT void NAME##SetProgress(ArcProgressFn fn, void* user);                               \
    ARC_EXPORT int NAME##Run(void* owner, const char* cmdLine, char* output,                       \
                             unsigned long outputSize, ArcProgressFn progress, void* user);

/* libunlha32.so: Unlha, UnlhaRun, UnlhaGetRunning, UnlhaGetVersion, UnlhaSetProgress */
ARC_MODULE_FUNCTIONS(Unlha)
/* libzip32j.so: Zip, ZipRun, ZipGetRunning, ZipGetVersion, ZipSetProgress */
ARC_MODULE_FUNCTIONS(Zip)
/* libunzip32.so: UnZip, UnZipRun, UnZipGetRunning, UnZipGetVersion, UnZipSetProgress */
ARC_MODULE_FUNCTIONS(UnZip)

#ifdef __cplusplus
}
#endif

#endif
