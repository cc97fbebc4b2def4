/* A stand-in archiver module for tests of the program's side of the module
 * interface. Built once per operation prefix (Unlha, Zip, UnZip). Besides the
 * module operations it exports Fake* controls: the result the next calls
 * return, a busy flag, how long a call works (reporting progress all along),
 * the command lines received, the threads that made the calls, and the text
 * of the last response file named ("@PATH" or "-i@PATH"), read while the call
 * runs. */
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

static int g_result = 0;
static int g_running = 0;
static ArcProgressFn g_progress = 0;
static void* g_user = 0;
static int g_delayMs = 0;
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

static long long nowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

EXPORT int FAKE_PREFIX(void* owner, const char* cmdLine, char* output, unsigned long size) {
    (void)owner;
    (void)output;
    (void)size;
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
