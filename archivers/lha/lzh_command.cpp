#include "lzh_command.h"

#include "cmdline.h"
#include "results.h"

namespace lha {

namespace {

bool endsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

// The command letter, either case; e extracts as x does. 0 for no command.
char verbOf(const std::string& token) {
    if (token.size() != 1)
        return 0;
    switch (token[0]) {
    case 'u':
    case 'U':
        return 'u';
    case 'a':
    case 'A':
        return 'a';
    case 'x':
    case 'X':
    case 'e':
    case 'E':
        return 'x';
    case 'l':
    case 'L':
        return 'l';
    case 't':
    case 'T':
        return 't';
    default:
        return 0;
    }
}

// Takes one switch (a token starting with '-') into the command.
int takeSwitch(const std::string& t, Command& cmd) {
    if (t == "-+")
        return arc::kOk;
    if (t == "-a1")
        cmd.includeHidden = true;
    else if (t == "-a0")
        cmd.includeHidden = false;
    else if (t == "-z" || t == "-z1")
        cmd.store = true;
    else if (const Method* m = methodOfSwitch(t))
        cmd.method = m;
    else if (t == "-9")
        cmd.level = LhLevel::Maximum;
    else if (t.size() > 3 && t.compare(0, 3, "-mt") == 0)
        cmd.threads = arc::parseThreads(std::string_view(t).substr(3));
    else if (t.size() > 2 && t[1] == 'w')
        cmd.workDir = t.substr(2);
    else
        return arc::kErrCommand;
    if (t.compare(0, 3, "-mt") == 0 && cmd.threads == 0)
        return arc::kErrCommand;
    return arc::kOk;
}

// Takes one name: the archive first, then an extraction's destination (a
// name ending in a separator), response files and the names themselves.
int takeName(const std::string& t, bool namesOnly, Command& cmd) {
    if (cmd.archive.empty()) {
        cmd.archive = t;
    } else if (cmd.verb == 'x' && !namesOnly && endsWithSeparator(t)) {
        cmd.destination = t;
    } else if (cmd.verb == 'l') {
        return arc::kErrCommand;
    } else if (!namesOnly && cmd.verb != 'x' && cmd.verb != 't' && t[0] == '@') {
        if (!arc::readResponseFile(t.substr(1), cmd.inputs))
            return arc::kErrCannotRead;
    } else {
        cmd.inputs.push_back(t);
    }
    return arc::kOk;
}

} // namespace

int parseCommand(const std::string& line, Command& cmd) {
    const std::vector<std::string> tokens = arc::splitCommandLine(line);
    if (tokens.empty() || (cmd.verb = verbOf(tokens[0])) == 0)
        return arc::kErrCommand;
    bool namesOnly = false; // after "--" every token is a name
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t.empty())
            return arc::kErrCommand;
        int rc;
        if (!namesOnly && t == "--") {
            namesOnly = true;
            rc = arc::kOk;
        } else if (!namesOnly && t[0] == '-') {
            rc = takeSwitch(t, cmd);
        } else {
            rc = takeName(t, namesOnly, cmd);
        }
        if (rc != arc::kOk)
            return rc;
    }
    return cmd.archive.empty() ? arc::kErrCommand : arc::kOk;
}

} // namespace lha
