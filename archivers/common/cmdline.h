// Splitting an archiver command line into tokens and reading response files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace arc {

// Splits a UTF-8 command line at blanks (space, tab). A token that begins with a
// double quote runs to the next single double quote that is followed by a blank
// or by the end of the line; inside it a doubled quote `""` stands for one quote
// character, so any name can be carried ("/a/say "" x.txt" is `/a/say " x.txt`),
// and a lone quote followed by anything else is kept as it is. The outer quotes
// are removed. A quote inside an unquoted token is kept as is. A token `--` is
// returned as it is: the modules take every token after it as a name, never as
// an option or a response file, so names beginning with "-" or "@" can be given.
std::vector<std::string> splitCommandLine(std::string_view line);

// Reads a response file: UTF-8 lines ended by CR LF, LF or CR, an optional
// byte-order mark, one path per line with its outer double quotes removed (the
// line is taken whole, so a path containing a quote or a comma survives). Empty
// lines are skipped. Returns false when the file cannot be opened or read, is
// not a regular file (a FIFO or a device is never waited on), or holds a NUL
// byte (no path holds one: the system would cut it there and open another
// file).
bool readResponseFile(const std::string& path, std::vector<std::string>& paths);

// The N of a thread switch (-mt<N>): 1 to 64, else 0 (a malformed switch).
unsigned parseThreads(std::string_view digits);

} // namespace arc
