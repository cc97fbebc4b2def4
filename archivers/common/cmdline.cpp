#include "cmdline.h"

#include "files.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace arc {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i >= n)
            break;
        if (line[i] == '"') {
            // Inside quotes a doubled quote stands for one quote character; a
            // single quote closes the token when a blank or the end follows it,
            // and is kept as it is otherwise. `""` followed by a blank or the end
            // is an empty token.
            size_t j = i + 1;
            std::string token;
            bool closed = false;
            if (j < n && line[j] == '"' && (j + 1 == n || isBlank(line[j + 1]))) {
                tokens.emplace_back();
                i = j + 1;
                continue;
            }
            for (; j < n; ++j) {
                if (line[j] != '"') {
                    token += line[j];
                } else if (j + 1 < n && line[j + 1] == '"') {
                    token += '"';
                    ++j;
                } else if (j + 1 == n || isBlank(line[j + 1])) {
                    closed = true;
                    break;
                } else {
                    token += '"';
                }
            }
            tokens.push_back(std::move(token));
            // No closing quote: the rest of the line was the token.
            if (!closed)
                break;
            i = j + 1;
        } else {
            size_t start = i;
            while (i < n && !isBlank(line[i]))
                ++i;
            tokens.emplace_back(line.substr(start, i - start));
        }
    }
    return tokens;
}

bool readResponseFile(const std::string& path, std::vector<std::string>& paths) {
    // A FIFO or a device is refused at once: a read would wait for a writer
    // or never end (/dev/zero).
    struct stat st;
    const int fd = openWithoutWaiting(path, st);
    if (fd < 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        data.append(buf, static_cast<size_t>(got));
    }
    ::close(fd);
    // A path cut at a NUL byte by the system would name another file.
    if (data.find('\0') != std::string::npos)
        return false;

    size_t pos = 0;
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    while (pos < data.size()) {
        size_t end = data.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = data.size();
        std::string_view lineView(data.data() + pos, end - pos);
        if (lineView.size() >= 2 && lineView.front() == '"' && lineView.back() == '"')
            lineView = lineView.substr(1, lineView.size() - 2);
        if (!lineView.empty())
            paths.emplace_back(lineView);
        pos = end;
        if (pos < data.size() && data[pos] == '\r')
            ++pos;
        if (pos < data.size() && data[pos] == '\n')
            ++pos;
    }
    return true;
}

unsigned parseThreads(std::string_view digits) {
    if (digits.empty() || digits.size() > 2)
        return 0;
    unsigned n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n >= 1 && n <= 64 ? n : 0;
}

} // namespace arc
