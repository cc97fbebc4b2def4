/* Runs command lines through the LHA module in one process, so that the whole
 * process can be timed from outside (bench/lha/run.sh). Written in C, so that
 * the process loads what the module needs and nothing more.
 *   lha_bench <path/to/libunlha32.so> '<command line>'
 *   lha_bench <path/to/libunlha32.so> -f <file>     one command line per line
 * Exits 0 when every call returned 0, else 1 (the first failing line is named). */
#include "arc_module.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

static ArcCommandFn unlha;

static int call(const char* line) {
    const int rc = unlha(NULL, line, NULL, 0);
    if (rc != 0)
        fprintf(stderr, "rc=%d for: %s\n", rc, line);
    return rc == 0;
}

int main(int argc, char** argv) {
    const int fromFile = argc == 4 && strcmp(argv[2], "-f") == 0;
    if (argc != 3 && !fromFile) {
        fprintf(stderr, "usage: %s <libunlha32.so> ('<command line>' | -f <file>)\n", argv[0]);
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW);
    if (!lib) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    unlha = (ArcCommandFn)dlsym(lib, "Unlha");
    if (!unlha) {
        fprintf(stderr, "%s has no Unlha\n", argv[1]);
        return 2;
    }
    if (!fromFile)
        return call(argv[2]) ? 0 : 1;
    FILE* in = fopen(argv[3], "r");
    if (!in) {
        fprintf(stderr, "cannot read %s\n", argv[3]);
        return 2;
    }
    char line[8192];
    while (fgets(line, sizeof line, in)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] != '\0' && !call(line)) {
            fclose(in);
            return 1;
        }
    }
    fclose(in);
    return 0;
}
