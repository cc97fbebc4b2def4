/* A stand-in archiver module for tests of the program's side of the module
 * interface. Built once per operation prefix (Unlha, Zip, UnZip). Besides the
 * module operations it exports Fake* controls: the result the next calls
 * return, a busy flag, how long a call works (reporting progress all along),
 * the command lines received, the threads that made the calls, and the text
 * of the last response file named ("@PATH" or "-i@PATH"), read while the call
 * runs.
 *
 * A call that makes an archive writes it as the text of its own listing (the
 * lines of arc_module.h, one a file it was given, CRC-16 for Unlha and CRC-32
 * for Zip), adding to or replacing the lines of an archive already there; a
 * listing call ("l" or "-l") hands that text back. So the program can prove
 * what a stand-in module made, and a file shared by two stand-ins (made by
 * Zip, listed by UnZip) reads the same. FakeSetKeep(0) makes it a module that
 * reports success without writing anything. */
#define _GNU_SOURCE
#include "arc_module.h"

#include <unistd.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define EXPORT ARC_EXPORT
#define CAT2(a, b) a##b
#define CAT(a, b) CAT2(a, b)
#define STR2(a) #a
#define STR(a) STR2(a)

static int g_result = 0;
static int g_running = 0;
static ArcProgressFn g_progress = 0;
static void* g_user = 0;
static int g_delayMs = 0;
static int g_keep = 1; /* 0: report success without writing the archive */
enum { kKept = 64, kLineMax = 4096 };
static char g_lines[kKept][kLineMax];
static int g_calls = 0;
static char g_response[kLineMax * 4];
/* The kernel's ids of the threads calls were made on (not reused as a thread
 * library's handles are), each once. */
static pid_t g_threads[kKept];
static int g_threadCount = 0;

EXPORT int CAT(FAKE_PREFIX, FakeCalls)(void) {
    return g_calls;
}
EXPORT const char* CAT(FAKE_PREFIX, FakeCommand)(int i) {
    return i >= 0 && i < g_calls && i < kKept ? g_lines[i] : "";
}
EXPORT const char* CAT(FAKE_PREFIX, FakeLastResponse)(void) {
    return g_response;
}
EXPORT int CAT(FAKE_PREFIX, FakeThreads)(void) {
    return g_threadCount;
}
EXPORT int CAT(FAKE_PREFIX, FakeThread)(int i) {
    return i >= 0 && i < g_threadCount ? (int)g_threads[i] : 0;
}
EXPORT void CAT(FAKE_PREFIX, FakeSetKeep)(int keep) {
    g_keep = keep;
}
EXPORT void CAT(FAKE_PREFIX, FakeSetDelay)(int ms) {
    g_delayMs = ms;
}
EXPORT void CAT(FAKE_PREFIX, FakeSetResult)(int result) {
    g_result = result;
}
EXPORT void CAT(FAKE_PREFIX, FakeSetRunning)(int running) {
    g_running = running;
}
EXPORT void CAT(FAKE_PREFIX, FakeReset)(void) {
    g_result = 0;
    g_running = 0;
    g_calls = 0;
    g_threadCount = 0;
    g_delayMs = 0;
    g_keep = 1;
    g_response[0] = '\0';
}

/* Keeps the text of the response file a command line names. */
static void keepResponse(const char* cmdLine) {
    const char* at = strstr(cmdLine, "\"@");
    const char* path = at ? at + 2 : 0;
    if (!at && (at = strstr(cmdLine, "\"-i@")) != 0)
        path = at + 4;
    if (!path)
        return;
    char name[kLineMax];
    size_t n = strcspn(path, "\"");
    if (n >= sizeof name)
        return;
    memcpy(name, path, n);
    name[n] = '\0';
    FILE* f = fopen(name, "rb");
    if (!f)
        return;
    size_t got = fread(g_response, 1, sizeof g_response - 1, f);
    g_response[got] = '\0';
    fclose(f);
}

static int isPrefix(const char* name) {
    return strcmp(STR(FAKE_PREFIX), name) == 0;
}

/* The CRC an archive of this module's kind keeps of a file; -1 when it cannot
 * be read. */
static long long crcOf(const char* path, unsigned long long* size) {
    FILE* f = fopen(path, "rb");
    if (!f)
        return -1;
    const int lzh = isPrefix("Unlha");
    unsigned long crc = lzh ? 0 : 0xFFFFFFFFul;
    int c;
    *size = 0;
    while ((c = getc(f)) != EOF) {
        ++*size;
        crc ^= (unsigned long)c;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ (lzh ? 0xA001ul : 0xEDB88320ul) : crc >> 1;
    }
    fclose(f);
    return (long long)(lzh ? crc & 0xFFFF : crc ^ 0xFFFFFFFFul);
}

/* The next double-quoted token of a command line (a doubled quote inside
 * stands for one), copied into `out`; null at the end. */
static const char* nextToken(const char* p, char* out, size_t size) {
    p = strchr(p, '"');
    if (!p)
        return 0;
    size_t n = 0;
    for (++p; *p; ++p) {
        if (*p == '"' && p[1] == '"')
            ++p;
        else if (*p == '"')
            break;
        if (n + 1 < size)
            out[n++] = *p;
    }
    out[n] = '\0';
    return *p ? p + 1 : p;
}

enum { kArchiveMax = 1 << 16 };
static char g_archive[kArchiveMax];

/* Adds a file's line to g_archive, replacing one of the same bare name, unless
 * this call stored that name already. */
static void addMember(const char* path, char* names, size_t namesSize) {
    const char* slash = strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    char key[kLineMax + 2];
    snprintf(key, sizeof key, "\n%s\n", base);
    if (strstr(names, key))
        return;
    unsigned long long size = 0;
    const long long crc = crcOf(path, &size);
    if (crc < 0)
        return;
    if (strlen(names) + strlen(key) < namesSize)
        strcat(names, key + 1);
    char kept[kArchiveMax] = "";
    for (char* line = strtok(g_archive, "\n"); line; line = strtok(0, "\n")) {
        const char* name = strrchr(line, '\t');
        if (name && strcmp(name + 1, base) != 0 && strlen(kept) + strlen(line) + 2 < sizeof kept)
            strcat(strcat(kept, line), "\n");
    }
    snprintf(g_archive, sizeof g_archive, "%s%0*llx\t%llu\t%llu\tfake\t0\t%s\n", kept,
             isPrefix("Unlha") ? 4 : 8, (unsigned long long)crc, size, size, base);
}

/* Reads the archive a listing call names into g_archive; 0 when there is none. */
static int readArchive(const char* path) {
    g_archive[0] = '\0';
    FILE* f = fopen(path, "rb");
    if (!f)
        return 0;
    size_t got = fread(g_archive, 1, sizeof g_archive - 1, f);
    g_archive[got] = '\0';
    fclose(f);
    return 1;
}

/* Writes the archive a making call names: its earlier lines with the call's
 * files added. */
static void keepArchive(const char* cmdLine) {
    char token[kLineMax], archive[kLineMax] = "", names[kLineMax * 4] = "\n";
    const char* p = cmdLine;
    while ((p = nextToken(p, token, sizeof token)) != 0) {
        if (strncmp(token, "-w", 2) == 0)
            continue;
        if (!archive[0]) {
            strcpy(archive, token);
            readArchive(archive);
            continue;
        }
        const char* list = token[0] == '@'                 ? token + 1
                           : strncmp(token, "-i@", 3) == 0 ? token + 3
                                                           : 0;
        if (!list) {
            addMember(token, names, sizeof names);
            continue;
        }
        FILE* f = fopen(list, "rb");
        char line[kLineMax];
        while (f && fgets(line, sizeof line, f)) {
            line[strcspn(line, "\r\n")] = '\0';
            size_t n = strlen(line);
            if (n >= 2 && line[0] == '"' && line[n - 1] == '"') {
                line[n - 1] = '\0';
                addMember(line + 1, names, sizeof names);
            }
        }
        if (f)
            fclose(f);
    }
    FILE* out = archive[0] ? fopen(archive, "wb") : 0;
    if (out) {
        fputs(g_archive, out);
        fclose(out);
    }
}

/* A listing call: the archive's text, as a real module hands it back. */
static int list(const char* cmdLine, char* output, unsigned long size) {
    char archive[kLineMax];
    if (!nextToken(cmdLine, archive, sizeof archive) || !readArchive(archive))
        return ARC_ERR_ARCHIVE_OPEN;
    if (!output || strlen(g_archive) >= size)
        return ARC_ERR_OUTPUT_SMALL;
    strcpy(output, g_archive);
    return 0;
}

static long long nowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

EXPORT int FAKE_PREFIX(void* owner, const char* cmdLine, char* output, unsigned long size) {
    (void)owner;
    if (output && size > 0)
        output[0] = '\0';
    if (cmdLine && (strncmp(cmdLine, "l ", 2) == 0 || strncmp(cmdLine, "-l ", 3) == 0))
        return list(cmdLine, output, size);
    if (g_calls < kKept) {
        strncpy(g_lines[g_calls], cmdLine ? cmdLine : "", kLineMax - 1);
        g_lines[g_calls][kLineMax - 1] = '\0';
    }
    ++g_calls;
    const pid_t self = gettid();
    int seen = 0;
    for (int i = 0; i < g_threadCount; ++i)
        seen |= g_threads[i] == self;
    if (!seen && g_threadCount < kKept)
        g_threads[g_threadCount++] = self;
    if (cmdLine)
        keepResponse(cmdLine);
    long long end = nowMs() + g_delayMs;
    do {
        if (g_progress && g_progress(g_user, "member.txt", 50, 100) != 0)
            return ARC_ERR_CANCELLED;
        if (g_delayMs > 0) {
            struct timespec pause = {0, 2000000};
            nanosleep(&pause, 0);
        }
    } while (nowMs() < end);
    /* Archives are made by Zip, and by Unlha's commands other than extraction. */
    const int makes = isPrefix("Zip") || (isPrefix("Unlha") && cmdLine && cmdLine[0] != 'x');
    if (makes && g_keep && g_result >= 0 && g_result <= ARC_MAX_SKIPPED)
        keepArchive(cmdLine);
    return g_result;
}

EXPORT int CAT(FAKE_PREFIX, GetRunning)(void) {
    return g_running;
}
EXPORT unsigned short CAT(FAKE_PREFIX, GetVersion)(void) {
    return FAKE_VERSION;
}

#ifndef FAKE_WITHOUT_PROGRESS
EXPORT void CAT(FAKE_PREFIX, SetProgress)(ArcProgressFn fn, void* user) {
    g_progress = fn;
    g_user = user;
}
#endif
