/* Runs one command line through an archiver module in one process, so that
 * the whole process can be timed from outside (bench/speed/run.sh), or run
 * where a test cannot run itself (the tests' module_call: in a mount
 * namespace without /proc).
 *   call <path/to/module.so> <operation> '<command line>'
 * <operation> is the export to call: Unlha, Zip or UnZip. Exits 0 when the
 * call returned 0, else prints the result code and exits 1. */
#include "arc_module.h"

#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s <module.so> <operation> '<command line>'\n", argv[0]);
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    const ArcCommandFn op = lib ? (ArcCommandFn)dlsym(lib, argv[2]) : NULL;
    if (!op) {
        fprintf(stderr, "cannot load %s from %s\n", argv[2], argv[1]);
        return 2;
    }
    const int rc = op(NULL, argv[3], NULL, 0);
    if (rc != 0)
        fprintf(stderr, "%s returned %d for: %s\n", argv[2], rc, argv[3]);
    return rc == 0 ? 0 : 1;
}
