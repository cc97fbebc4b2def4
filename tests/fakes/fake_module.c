/* A stand-in archiver module for tests of the program's side of the module
 * interface. Built once per operation prefix (Unlha, Zip, UnZip). Besides the
 * module operations it exports Fake* controls: the result the next calls
 * return, a busy flag, and the command lines received. */
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))
#define CAT2(a, b) a##b
#define CAT(a, b) CAT2(a, b)

typedef int (*ProgressFn)(void*, const char*, unsigned long long, unsigned long long);

static int g_result = 0;
static int g_running = 0;
static ProgressFn g_progress = 0;
static void* g_user = 0;
static char g_last[8192];
static int g_calls = 0;

EXPORT int CAT(FAKE_PREFIX, FakeCalls)(void) {
    return g_calls;
}
EXPORT const char* CAT(FAKE_PREFIX, FakeLastCommand)(void) {
    return g_last;
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
    g_last[0] = '\0';
}

EXPORT int FAKE_PREFIX(void* owner, const char* cmdLine, char* output, unsigned long size) {
    (void)owner;
    (void)output;
    (void)size;
    ++g_calls;
    strncpy(g_last, cmdLine ? cmdLine : "", sizeof g_last - 1);
    g_last[sizeof g_last - 1] = '\0';
    if (g_progress && g_progress(g_user, "member.txt", 50, 100) != 0)
        return 32800;
    return g_result;
}

EXPORT int CAT(FAKE_PREFIX, GetRunning)(void) {
    return g_running;
}
EXPORT unsigned short CAT(FAKE_PREFIX, GetVersion)(void) {
    return FAKE_VERSION;
}

#ifndef FAKE_WITHOUT_PROGRESS
EXPORT void CAT(FAKE_PREFIX, SetProgress)(ProgressFn fn, void* user) {
    g_progress = fn;
    g_user = user;
}
#endif
