// A command line of the LHA module (grammar in unlha32.h) taken apart.
#pragma once

#include "lh_codec.h"
#include "lzh_methods.h"

#include <string>
#include <vector>

namespace lha {

struct Command {
    char verb = 0; // 'a', 'u', 'x' (also for e), 'l' or 't'
    bool includeHidden = false;
    bool store = false;
    const Method* method = &kLh5;
    LhLevel level = LhLevel::Default;
    unsigned threads = 0; // -mt<N>; 0: the default
    std::string workDir;
    std::string archive;
    std::vector<std::string> inputs; // files to store, or member names to extract
    std::string destination;
};

// Fills `cmd` from a command line. Returns kOk, kErrCommand for a malformed
// line, or kErrCannotRead when a response file cannot be read.
int parseCommand(const std::string& line, Command& cmd);

} // namespace lha
