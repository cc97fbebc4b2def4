#include "unzip32.h"

#include "cmdline.h"
#include "module.h"
#include "results.h"
#include "zip_archive.h"
#include "zip_reader.h"

#include <new>
#include <string>
#include <vector>

namespace {

arc::ModuleState state;

// One line a member (arc_module.h), in the order of the central directory. A
// folder marked by its attributes alone is listed with the final "/" that
// tells every reader of the listing it is one.
int list(const std::string& archive, std::string& output) {
    zip::Reader reader;
    const int rc = reader.open(archive);
    if (rc != arc::kOk)
        return rc;
    for (const zip::Entry& e : reader.entries()) {
        const bool slashMissing = e.isFolderEntry() && (e.name.empty() || e.name.back() != '/');
        output += arc::listingLine(e.crc, 8, e.size, e.compressedSize,
                                   e.method == 0   ? "stored"
                                   : e.method == 8 ? "deflate"
                                                   : std::to_string(e.method),
                                   e.modified(), slashMissing ? e.name + '/' : e.name);
    }
    return arc::kOk;
}

int run(const char* cmdLine, std::string& output) {
    std::vector<std::string> args;
    bool namesOnly = false; // after "--" every token is a name
    bool listing = false;
    bool testing = false;
    for (std::string& t : arc::splitCommandLine(cmdLine)) {
        if (t.empty()) // an empty token ("") names nothing
            return arc::kErrCommand;
        if (!namesOnly && (t == "-x" || t == "--")) {
            namesOnly = t == "--";
            continue;
        }
        if (!namesOnly && t == "-l") {
            listing = true;
            continue;
        }
        if (!namesOnly && t == "-t") {
            testing = true;
            continue;
        }
        if (!namesOnly && !t.empty() && t[0] == '-')
            return arc::kErrCommand;
        args.push_back(std::move(t));
    }
    if (listing && testing)
        return arc::kErrCommand;
    if (listing)
        return args.size() == 1 ? list(args[0], output) : arc::kErrCommand;
    arc::Progress progress = state.makeProgress(0);
    if (testing) {
        if (args.empty())
            return arc::kErrCommand;
        return zip::testArchive(args[0], std::vector<std::string>(args.begin() + 1, args.end()),
                                progress);
    }
    if (args.size() < 2)
        return arc::kErrCommand;
    const std::vector<std::string> members(args.begin() + 2, args.end());
    return zip::extractArchive(args[0], args[1], members, progress);
}

} // namespace

ARC_MODULE_EXPORTS(UnZip, state, run, 100)
