// What every test of files needs: a temporary folder removed with everything
// in it (even what a test made read-only), and whole files read and written.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path;
    TempDir() {
        char templ[] = "/tmp/dravonel2-test-XXXXXX";
        path = ::mkdtemp(templ);
    }
    ~TempDir() {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(path, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    fs::path operator/(const std::string& name) const { return path / name; }
};

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void spit(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << data;
}

// Data like a run of small compressed files, which shrinks by a few per cent
// only: a MiB of random bytes in which a header of 24 bytes, all but its last
// two alike, starts every 1,000 to 2,000 bytes (a few long matches), then a
// MiB in which a token of 12 bytes starts every 160 bytes (many short ones).
inline std::string packedFiles(unsigned seed) {
    uint32_t x = seed * 2654435761u + 1;
    auto next = [&x] {
        x = x * 1103515245u + 12345u;
        return x >> 16;
    };
    std::string s;
    while (s.size() < size_t{1} << 20) {
        s += "\x1f\x8b\x08\x08manual-page.";
        for (size_t n = 2 + 1000 + next() % 1000; n > 0; --n)
            s.push_back(static_cast<char>(next()));
    }
    while (s.size() < size_t{2} << 20) {
        s += "token-repeat";
        for (size_t n = 148; n > 0; --n)
            s.push_back(static_cast<char>(next()));
    }
    return s;
}

} // namespace testsupport
