// Large buffers backed by huge pages where the kernel offers them on request
// (transparent huge pages in "madvise" mode): a buffer of many MiB then costs
// a few page faults instead of one per 4 KiB, which under a hypervisor is a
// good part of the time spent on data that is only copied (stored noise).
#pragma once

#include <cstddef>

namespace arc {

// Asks for huge pages for the whole 2 MiB pages inside [data, data + size)
// that are not touched yet; a hint only, without effect where it is not
// offered. Smaller buffers are left alone.
void preferHugePages(const void* data, size_t size);

} // namespace arc
