// The commands of the LHA module, over the codec: create or update an archive
// from a list of files, and extract members into a folder.
#pragma once

#include "module.h"

#include <string>

namespace lha {

// Carries out one command line (grammar and results in unlha32.h).
int runCommand(const std::string& commandLine, arc::Progress& progress);

} // namespace lha
