// The program-wide state every window reaches: the settings store, the option
// set, the archiver modules and their state. The job itself is the main
// window's Session.
#pragma once

#include "archivers.h"
#include "options.h"

#include <QString>

#include <functional>

namespace dravonel {

class SettingsStore;

struct Program {
    Program(SettingsStore& s, OptionSet& o, LibraryState& l, Archivers& a)
        : store(s), options(o), libraries(l), archivers(a) {}

    SettingsStore& store;
    OptionSet& options;
    LibraryState& libraries;
    Archivers& archivers;

    // The start-up's questions to the system (main asks the real one; tests
    // give their own): the default of TmpDir, and the module check.
    std::function<QString()> tempFolder;
    std::function<LibraryState()> checkLibraries;
};

} // namespace dravonel
