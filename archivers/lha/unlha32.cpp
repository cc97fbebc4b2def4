#include "unlha32.h"

#include "lzh_archive.h"
#include "results.h"

namespace {

arc::ModuleState state;

int run(const char* cmdLine, std::string& output) {
    arc::Progress progress = state.makeProgress(0);
    return lha::runCommand(cmdLine, progress, output);
}

} // namespace

ARC_EXPORT int Unlha(void*, const char* cmdLine, char* output, unsigned long outputSize) {
    return state.call(cmdLine, output, outputSize, run);
}

ARC_EXPORT int UnlhaRun(void*, const char* cmdLine, char* output, unsigned long outputSize,
                        ArcProgressFn progress, void* user) {
    return state.callWithHook(progress, user, cmdLine, output, outputSize, run);
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
