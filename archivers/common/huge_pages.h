// Large buffers backed by huge pages where the kernel offers them on request
// (transparent huge pages in "madvise" mode): a buffer of many MiB then costs
// a few page faults instead of one per 4 KiB, which under a hypervisor is a
// good part of the time spent on data that is only copied (stored noise).
// Such a buffer starts on a huge page and fills whole ones, so that no end of
// it is left to 4 KiB pages: malloc's large blocks start 16 bytes into a page,
// and the 2 MiB before the first whole huge page of one would fault in page by
// page.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace arc {

// Room for `bytes` bytes, not cleared, to be given back with std::free. From
// 1 MiB up, it is aligned to a huge page and asked to be backed by them (a
// hint only), rounded up to whole ones when the last would be half used or
// more; smaller buffers come from malloc as they are. Throws std::bad_alloc
// when memory runs out.
void* allocateHuge(size_t bytes);

// The allocator of vectors that may grow large (parses, compressed output).
template <class T> struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U> HugePageAllocator(const HugePageAllocator<U>&) {}
    T* allocate(size_t n) {
        if (n > static_cast<size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        return static_cast<T*>(allocateHuge(n * sizeof(T)));
    }
    void deallocate(T* p, size_t) { std::free(p); }
    // An element a vector adds without a value (resize) is left as it is, not
    // cleared: such vectors are room written before it is read, and clearing
    // many MiB of it would cost as much as writing them.
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... A> void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
    template <class U> bool operator==(const HugePageAllocator<U>&) const { return true; }
};

template <class T> using HugeVector = std::vector<T, HugePageAllocator<T>>;

// The library copies the elements of a vector one by one for any allocator
// but its own (what insert() adds, and what a vector holds when it grows:
// reserve(), a resize() or push_back() past its capacity), which for bytes
// costs about five instructions each. These two do the same with memcpy.

// Room for `capacity` elements in `v` at least; what it holds moves with one
// memcpy when it must.
template <class T> void reserveFor(HugeVector<T>& v, size_t capacity) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (capacity <= v.capacity())
        return;
    HugeVector<T> grown;
    grown.reserve(capacity);
    grown.resize(v.size());
    if (!v.empty())
        std::memcpy(grown.data(), v.data(), v.size() * sizeof(T));
    v.swap(grown);
}

// Appends the `n` elements at `from` (not in `v`) to `v`, its room doubled
// when it runs out.
template <class T> void appendTo(HugeVector<T>& v, const T* from, size_t n) {
    const size_t at = v.size();
    if (v.capacity() - at < n)
        reserveFor(v, std::max(at + n, 2 * v.capacity()));
    v.resize(at + n);
    if (n > 0)
        std::memcpy(v.data() + at, from, n * sizeof(T));
}

// A buffer of bytes from allocateHuge.
struct FreeHuge {
    void operator()(unsigned char* p) const { std::free(p); }
};
using HugeBytes = std::unique_ptr<unsigned char[], FreeHuge>;
inline HugeBytes makeHugeBytes(size_t bytes) {
    return HugeBytes(static_cast<unsigned char*>(allocateHuge(bytes)));
}

} // namespace arc
