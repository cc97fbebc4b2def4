// Runs one command line through the LHA module and prints the result code, the
// seconds it took and the peak resident memory of the process.
//   lha_bench <path/to/libunlha32.so> '<command line>'
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <libunlha32.so> '<command line>'\n", argv[0]);
        return 2;
    }
    void* lib = ::dlopen(argv[1], RTLD_NOW);
    if (!lib) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 2;
    }
    using UnlhaFn = int (*)(void*, const char*, char*, unsigned long);
    auto unlha = reinterpret_cast<UnlhaFn>(::dlsym(lib, "Unlha"));
    if (!unlha)
        return 2;
    auto start = std::chrono::steady_clock::now();
    int rc = unlha(nullptr, argv[2], nullptr, 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage ru;
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("rc=%d seconds=%.3f peak_rss_kib=%ld\n", rc, seconds, ru.ru_maxrss);
    return rc == 0 ? 0 : 1;
}
