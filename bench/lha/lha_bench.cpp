// Runs command lines through the LHA module in one process, so that the whole
// process can be timed from outside (bench/lha/run.sh uses /usr/bin/time).
//   lha_bench <path/to/libunlha32.so> '<command line>'
//   lha_bench <path/to/libunlha32.so> -f <file>     one command line per line
// Exits 0 when every call returned 0, else 1 (the first failing line is named).
#include "arc_module.h"

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const bool fromFile = argc == 4 && std::string(argv[2]) == "-f";
    if (argc != 3 && !fromFile) {
        std::fprintf(stderr, "usage: %s <libunlha32.so> ('<command line>' | -f <file>)\n", argv[0]);
        return 2;
    }
    void* lib = ::dlopen(argv[1], RTLD_NOW);
    if (!lib) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 2;
    }
    auto unlha = reinterpret_cast<ArcCommandFn>(::dlsym(lib, "Unlha"));
    if (!unlha) {
        std::fprintf(stderr, "%s has no Unlha\n", argv[1]);
        return 2;
    }
    auto call = [&](const std::string& line) {
        const int rc = unlha(nullptr, line.c_str(), nullptr, 0);
        if (rc != 0)
            std::fprintf(stderr, "rc=%d for: %s\n", rc, line.c_str());
        return rc == 0;
    };
    if (!fromFile)
        return call(argv[2]) ? 0 : 1;
    std::ifstream in(argv[3]);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[3]);
        return 2;
    }
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && !call(line))
            return 1;
    return 0;
}
