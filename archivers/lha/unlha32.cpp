#include "unlha32.h"

#include "lzh_archive.h"
#include "module.h"

namespace {

arc::ModuleState state;

int run(const char* cmdLine, std::string& output) {
    arc::Progress progress = state.makeProgress(0);
    return lha::runCommand(cmdLine, progress, output);
}

} // namespace

ARC_MODULE_EXPORTS(Unlha, state, run, 100)
