// Helpers for the LHA tests: temporary folders, files, and running the
// independent archivers. Each is called by its own name (lhasa, jlha, 7z):
// on Debian "lha" is an alternative that may point at either.
#pragma once

#include "test_files.h"
#include "test_shell.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace lhatest {

namespace fs = std::filesystem;

using testsupport::outputLines;
using testsupport::slurp;
using testsupport::spit;
using testsupport::TempDir;

inline std::string randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

// Text-like data: words from a small vocabulary, so it compresses but not trivially.
inline std::string wordySource(size_t n, uint32_t seed) {
    static const char* words[] = {"template", "<typename", "T>",        "struct",   "return",
                                  "const",    "noexcept",  "{",         "}",        ";",
                                  "std::",    "size_t",    "value",     "operator", "\n",
                                  "    ",     "//",        "namespace", "if",       "(x)"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        s += words[rng() % 20];
        s += ' ';
    }
    s.resize(n);
    return s;
}

// Runs a shell command, returning its exit status; output goes to `output`.
inline int run(const std::string& command, std::string* output = nullptr) {
    return testsupport::runShell(command, output);
}

// Single-quotes a path for the shell.
inline std::string q(const std::string& s) {
    return testsupport::shellQuote(s);
}

} // namespace lhatest
