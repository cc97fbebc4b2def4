#include "huge_pages.h"

#include <cstdint>
#include <sys/mman.h>

namespace arc {

void preferHugePages(const void* data, size_t size) {
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHuge - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

} // namespace arc
