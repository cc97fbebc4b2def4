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

// Appends the `n` elements at `from` to `v` with one memcpy, and when `v` must
// grow, moves what it holds with another. The library copies elements one by
// one for any allocator but its own (insert(), and a vector that grows), which
// for bytes costs about five instructions each.
template <class T> void appendTo(HugeVector<T>& v, const T* from, size_t n) {
    static_assert(std::is_trivially_copyable_v<T>);
    const size_t at = v.size();
    if (v.capacity() - at < n) {
        HugeVector<T> grown;
        grown.reserve(std::max(at + n, 2 * v.capacity()));
        grown.resize(at);
        if (at > 0)
            std::memcpy(grown.data(), v.data(), at * sizeof(T));
        v.swap(grown);
    }
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
