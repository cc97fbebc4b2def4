#include "unlha32.h"

#include "lzh_archive.h"
#include "results.h"

namespace {

arc::ModuleState state;

} // namespace

ARC_EXPORT int Unlha(void*, const char* cmdLine, char* output, unsigned long outputSize) {
    return state.call(cmdLine, output, outputSize, [](const char* line) {
        arc::Progress progress = state.makeProgress(0);
        return lha::runCommand(line, progress);
    });
}

ARC_EXPORT int UnlhaGetRunning(void) {
    return state.running();
}

ARC_EXPORT unsigned short UnlhaGetVersion(void) {
    return 100;
}

ARC_EXPORT void UnlhaSetProgress(ArcProgressFn fn, void* user) {
    state.setProgress(fn, user);
}
