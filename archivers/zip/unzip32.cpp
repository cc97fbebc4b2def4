#include "unzip32.h"

#include "cmdline.h"
#include "results.h"
#include "zip_archive.h"

#include <new>
#include <string>
#include <vector>

namespace {

arc::ModuleState state;

int run(const char* cmdLine) {
    std::vector<std::string> args;
    bool namesOnly = false; // after "--" every token is a name
    for (std::string& t : arc::splitCommandLine(cmdLine)) {
        if (!namesOnly && (t == "-x" || t == "--")) {
            namesOnly = t == "--";
            continue;
        }
        if (!namesOnly && !t.empty() && t[0] == '-')
            return arc::kErrCommand;
        args.push_back(std::move(t));
    }
    if (args.size() < 2 || args[0].empty() || args[1].empty())
        return arc::kErrCommand;
    const std::vector<std::string> members(args.begin() + 2, args.end());
    arc::Progress progress = state.makeProgress(0);
    return zip::extractArchive(args[0], args[1], members, progress);
}

} // namespace

ARC_EXPORT int UnZip(void*, const char* cmdLine, char* output, unsigned long outputSize) {
    return state.call(cmdLine, output, outputSize, run);
}

ARC_EXPORT int UnZipRun(void*, const char* cmdLine, char* output, unsigned long outputSize,
                        ArcProgressFn progress, void* user) {
    return state.callWithHook(progress, user, cmdLine, output, outputSize, run);
}

ARC_EXPORT int UnZipGetRunning(void) {
    return state.running();
}

ARC_EXPORT unsigned short UnZipGetVersion(void) {
    return 100;
}

ARC_EXPORT void UnZipSetProgress(ArcProgressFn fn, void* user) {
    state.setProgress(fn, user);
}
