/* The benchmark's driver: loads libzip32j.so as the program does and makes one
 * archive per input file with Zip(), all in this one process, so that the
 * whole process can be timed against whole `zip` processes. Written in C, like
 * its peer, so that the process loads what the module needs and nothing more.
 *
 *   zip_bench MODULE LEVEL OUTDIR FILE...   makes OUTDIR/<n>.zip from each FILE
 *   zip_bench MODULE LEVEL OUTDIR @LIST     the files named in LIST, one a line
 *
 * LEVEL is 0..9. Exits 0 when every call returned 0; else names the file and
 * the result code on standard error and exits 1. */
#include "arc_module.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

static int failed = 0;

/* Makes OUTDIR/<index>.zip from `file`. */
static void make(ArcCommandFn zip, const char* level, const char* outDir, long index,
                 const char* file) {
    char cmd[8192];
    const int n = snprintf(cmd, sizeof cmd, "-j -S -%s \"%s/%ld.zip\" \"%s\"", level, outDir,
                           index, file);
    if (n < 0 || (size_t)n >= sizeof cmd) {
        fprintf(stderr, "zip_bench: %s: name too long\n", file);
        failed = 1;
        return;
    }
    const int rc = zip(NULL, cmd, NULL, 0);
    if (rc != 0) {
        fprintf(stderr, "zip_bench: %s: Zip returned %d\n", file, rc);
        failed = 1;
    }
}

int main(int argc, char** argv) {
    if (argc < 5 || strlen(argv[2]) != 1 || argv[2][0] < '0' || argv[2][0] > '9') {
        fprintf(stderr, "usage: zip_bench MODULE LEVEL OUTDIR FILE... | @LIST\n");
        return 2;
    }
    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    const ArcCommandFn zip = module ? (ArcCommandFn)dlsym(module, "Zip") : NULL;
    if (!zip) {
        fprintf(stderr, "zip_bench: cannot load Zip from %s\n", argv[1]);
        return 2;
    }
    if (argv[4][0] != '@') {
        for (int i = 4; i < argc; ++i)
            make(zip, argv[2], argv[3], i - 4, argv[i]);
        return failed;
    }
    FILE* list = fopen(argv[4] + 1, "r");
    if (!list) {
        fprintf(stderr, "zip_bench: cannot read %s\n", argv[4] + 1);
        return 2;
    }
    char line[4096];
    long index = 0;
    while (fgets(line, sizeof line, list)) {
        line[strcspn(line, "\r\n")] = '\0';
        make(zip, argv[2], argv[3], index++, line);
    }
    fclose(list);
    return failed;
}
