#include "lzh_archive.h"

#include "lzh_command.h"
#include "lzh_extract.h"
#include "lzh_update.h"
#include "results.h"

namespace lha {

int runCommand(const std::string& commandLine, arc::Progress& progress, std::string& output) {
    Command cmd;
    int rc = parseCommand(commandLine, cmd);
    if (rc != arc::kOk)
        return rc;
    switch (cmd.verb) {
    case 'x':
    case 't': // the same decoding, nothing written
        return extract(cmd, progress);
    case 'l':
        return list(cmd, output);
    default:
        return createOrUpdate(cmd, progress);
    }
}

} // namespace lha
