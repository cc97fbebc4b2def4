// Shared helpers of the ZIP tests: temporary folders, files, the modules
// loaded by path, and the independent tools that check archives.
#pragma once

#include "module.h"
#include "test_files.h"
#include "test_shell.h"

#include <filesystem>
#include <string>
#include <vector>

namespace ztest {

namespace fs = std::filesystem;

using testsupport::outputLines;
using testsupport::slurp;
using testsupport::spit;
using testsupport::TempDir;

// Deterministic bytes: text-like when `compressible`, else noise.
std::string sample(size_t size, unsigned seed, bool compressible);

// Runs a shell command; returns its exit status and collects stdout+stderr.
inline int shell(const std::string& command, std::string* output = nullptr) {
    return testsupport::runShell(command, output);
}
inline std::string quote(const fs::path& p) {
    return testsupport::shellQuote(p.string());
}

// True when `unzip -t`, `7z t` and Python's zipfile (testzip) all accept it.
bool readersAccept(const fs::path& archive, std::string* why = nullptr);
// Lines printed by a Python snippet given the archive path as sys.argv[1].
std::vector<std::string> python(const std::string& code, const fs::path& archive);

// Makes `archive` with Python's zipfile: `body` calls add(name, data, ...) for
// each entry, where `name` is the raw header bytes (stored without the UTF-8
// flag), `system` the host of "version made by" (0 DOS, 3 Unix), `mode` the
// Unix permission bits and `unicode` an Info-ZIP Unicode path field.
void pythonZip(const fs::path& archive, const std::string& body);

// An archiver module loaded from a path, with its four exports.
struct Module {
    explicit Module(const std::string& path, const std::string& prefix);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    bool loaded() const { return handle != nullptr; }

    int call(const std::string& cmdLine) const { return run(nullptr, cmdLine.c_str(), nullptr, 0); }

    void* handle = nullptr;
    int (*run)(void*, const char*, char*, unsigned long) = nullptr;
    int (*getRunning)() = nullptr;
    unsigned short (*getVersion)() = nullptr;
    void (*setProgress)(ArcProgressFn, void*) = nullptr;
};

const Module& zipModule();
const Module& unzipModule();
// The module, with a failure recorded when it could not be loaded.
const Module& loaded(const Module& module);

// The ZIP command lines of the program, with their two blanks before the first quote.
std::string zipCommand(const std::string& options, const fs::path& archive,
                       const std::string& argument);

} // namespace ztest
