#include "unlha32.h"

#include "lzh_archive.h"
#include "results.h"

#include <new>
#include <system_error>

namespace {

arc::ModuleState state;

} // namespace

ARC_EXPORT int Unlha(void*, const char* cmdLine, char* output, unsigned long outputSize) {
    arc::ModuleState::Guard guard(state);
    if (!guard.acquired())
        return arc::kErrAlreadyRunning;
    if (output && outputSize > 0)
        output[0] = '\0';
    if (!cmdLine)
        return arc::kErrCommand;
    arc::Progress progress = state.makeProgress(0);
    try {
        return lha::runCommand(cmdLine, progress);
    } catch (const std::bad_alloc&) {
        return arc::kErrNoMemory;
    } catch (const std::system_error&) {
        // A helper thread could not be started.
        return arc::kErrNoMemory;
    }
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
