// The benchmark's driver: loads libzip32j.so as the program does and makes one
// archive per input file with Zip(), all in this one process, so that the
// whole process can be timed against whole `zip` processes.
//
//   zip_bench MODULE LEVEL OUTDIR FILE...   makes OUTDIR/<n>.zip from each FILE
//   zip_bench MODULE LEVEL OUTDIR @LIST     the files named in LIST, one a line
//
// LEVEL is 0..9. Exits 0 when every call returned 0; else names the file and
// the result code on standard error and exits 1.
#include "arc_module.h"

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 5 || std::string(argv[2]).size() != 1 || argv[2][0] < '0' || argv[2][0] > '9') {
        std::fprintf(stderr, "usage: zip_bench MODULE LEVEL OUTDIR FILE... | @LIST\n");
        return 2;
    }
    void* module = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    const auto zip = module ? reinterpret_cast<ArcCommandFn>(::dlsym(module, "Zip")) : nullptr;
    if (!zip) {
        std::fprintf(stderr, "zip_bench: cannot load Zip from %s\n", argv[1]);
        return 2;
    }
    std::vector<std::string> files;
    if (argv[4][0] == '@') {
        std::ifstream list(argv[4] + 1);
        for (std::string line; std::getline(list, line);)
            files.push_back(line);
    } else {
        files.assign(argv + 4, argv + argc);
    }
    const std::string options = std::string("-j -S -") + argv[2] + " ";
    int failed = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string archive = std::string(argv[3]) + "/" + std::to_string(i) + ".zip";
        const std::string cmd = options + " \"" + archive + "\" \"" + files[i] + "\"";
        const int rc = zip(nullptr, cmd.c_str(), nullptr, 0);
        if (rc != 0) {
            std::fprintf(stderr, "zip_bench: %s: Zip returned %d\n", files[i].c_str(), rc);
            failed = 1;
        }
    }
    return failed;
}
