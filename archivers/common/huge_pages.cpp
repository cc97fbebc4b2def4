#include "huge_pages.h"

#include <sys/mman.h>

namespace arc {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Buffers from this size up take huge pages: less than one of them is then
// more than was asked for, and it is resident only once touched.
constexpr size_t kHugeFrom = size_t{1} << 20;

} // namespace

void* allocateHuge(size_t bytes) {
    if (bytes < kHugeFrom) {
        void* p = std::malloc(bytes > 0 ? bytes : 1);
        if (!p)
            throw std::bad_alloc();
        return p;
    }
    if (bytes > static_cast<size_t>(-1) - kHugePage)
        throw std::bad_alloc();
    const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p)
        throw std::bad_alloc();
    // A last huge page less than half used would be zeroed and resident whole
    // for little: the bytes past the last whole one then keep small pages.
    const size_t tail = bytes % kHugePage;
    madvise(p, tail >= kHugePage / 2 ? rounded : bytes - tail, MADV_HUGEPAGE);
    return p;
}

} // namespace arc
