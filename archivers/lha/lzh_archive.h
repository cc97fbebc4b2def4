// The commands of the LHA module, over the codec: create or update an archive
// from a list of files, extract members into a folder, list the members.
#pragma once

#include "module.h"

#include <string>

namespace lha {

// Carries out one command line (grammar and results in unlha32.h); a listing
// goes to `output`.
int runCommand(const std::string& commandLine, arc::Progress& progress, std::string& output);

} // namespace lha
