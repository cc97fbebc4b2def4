// Splitting an archiver command line into tokens and reading response files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace arc {

// Splits a UTF-8 command line at blanks (space, tab). A token that begins with a
// double quote runs to the next double quote that is followed by a blank or by
// the end of the line, so "/a/say "hi".txt" stays one token with its inner quotes;
// the outer quotes are removed. A quote inside an unquoted token is kept as is.
std::vector<std::string> splitCommandLine(std::string_view line);

// Reads a response file: UTF-8 lines ended by CR LF, LF or CR, an optional
// byte-order mark, one path per line with its outer double quotes removed (the
// line is taken whole, so a path containing a quote or a comma survives). Empty
// lines are skipped. Returns false when the file cannot be opened or read.
bool readResponseFile(const std::string& path, std::vector<std::string>& paths);

} // namespace arc
