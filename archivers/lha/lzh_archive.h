// The commands of the LHA module: a command line taken apart (lzh_command.*)
// and handed to what carries it out: making or updating an archive
// (lzh_update.*), or listing, extracting and testing its members
// (lzh_extract.*).
#pragma once

#include "module.h"

#include <string>

namespace lha {

// Carries out one command line (grammar and results in unlha32.h); a listing
// goes to `output`.
int runCommand(const std::string& commandLine, arc::Progress& progress, std::string& output);

} // namespace lha
