// The program-wide state every window reaches: the settings store, the option
// set, the archiver modules and their state, and the job values the main
// window owns.
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

    // True while a job runs without windows: the panes then skip their
    // geometry, captions and tool-tips.
    bool AutoRunning = false;
    // The job's archive name for the normal mode; empty at start.
    QString ArchiveName;
    // The job file last opened or saved; empty at start.
    QString JobFileName;

    // The start-up's questions to the system (main asks the real one; tests
    // give their own): the default of TmpDir, and the module check.
    std::function<QString()> tempFolder;
    std::function<LibraryState()> checkLibraries;
};

} // namespace dravonel
