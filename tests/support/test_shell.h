// Running the independent tools the tests check archives with: a shell
// command with its output, the lines it prints, and paths quoted for it.
#pragma once

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace testsupport {

// Runs a shell command, returning its exit status (-1 when it did not exit);
// its standard output and error go to `output`.
inline int runShell(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        text.append(buf, n);
    const int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The lines a shell command prints, each without its line break.
inline std::set<std::string> outputLines(const std::string& command) {
    std::string out;
    runShell(command, &out);
    std::set<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.insert(line);
    return lines;
}

// Single-quotes text for the shell.
inline std::string shellQuote(const std::string& s) {
    std::string r = "'";
    for (char c : s)
        r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

} // namespace testsupport
