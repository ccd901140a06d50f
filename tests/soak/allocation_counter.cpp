// Replaced global allocation functions that count every call, for the soak run.
#include "allocation_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRELLIS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TRELLIS_ASAN 1
#endif

namespace {

std::atomic<uint64_t> newCount{0};
std::atomic<uint64_t> deleteCount{0};
std::atomic<uint64_t> mallocCount{0};
std::atomic<uint64_t> freeCount{0};

void* CountedNew(std::size_t size) {
    newCount.fetch_add(1, std::memory_order_relaxed);
    if (size == 0) size = 1;
    for (;;) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* CountedAlignedNew(std::size_t size, std::align_val_t alignment) {
    newCount.fetch_add(1, std::memory_order_relaxed);
    auto align = static_cast<std::size_t>(alignment);
    if (align < sizeof(void*)) align = sizeof(void*);
    if (size == 0) size = 1;
    for (;;) {
        void* p = nullptr;
        if (posix_memalign(&p, align, size) == 0) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void CountedDelete(void* p) noexcept {
    if (!p) return;
    deleteCount.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

}  // namespace

AllocationCounts CurrentAllocationCounts() {
    return {newCount.load(std::memory_order_relaxed), deleteCount.load(std::memory_order_relaxed),
            mallocCount.load(std::memory_order_relaxed), freeCount.load(std::memory_order_relaxed)};
}

AllocationCounts AllocationsBetween(const AllocationCounts& a, const AllocationCounts& b) {
    return {b.news - a.news, b.deletes - a.deletes, b.mallocs - a.mallocs, b.frees - a.frees};
}

// --- operator new and delete ---------------------------------------------------------------

void* operator new(std::size_t size) {
    return CountedNew(size);
}
void* operator new[](std::size_t size) {
    return CountedNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedNew(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedNew(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return CountedAlignedNew(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return CountedAlignedNew(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return CountedAlignedNew(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return CountedAlignedNew(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p) noexcept {
    CountedDelete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    CountedDelete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    CountedDelete(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    CountedDelete(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    CountedDelete(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    CountedDelete(p);
}

// --- malloc and free -----------------------------------------------------------------------
// glibc lets a program replace its allocator by defining these functions; each one here
// counts and hands on to glibc's own allocator under its internal names, so every library in
// the process (the C++ runtime, stdio, GoogleTest) is counted too.

#if defined(TRELLIS_ASAN)

bool MallocCounted() {
    return false;
}

#else

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
void __libc_free(void* p);

void* malloc(size_t size) noexcept {
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) noexcept {
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    if (p) freeCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}

void* reallocarray(void* p, size_t count, size_t size) noexcept {
    if (size != 0 && count > static_cast<size_t>(-1) / size) return nullptr;
    return realloc(p, count * size);
}

void* memalign(size_t alignment, size_t size) noexcept {
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_memalign(alignment, size);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}

void* valloc(size_t size) noexcept {
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_valloc(size);
}

void* pvalloc(size_t size) noexcept {
    mallocCount.fetch_add(1, std::memory_order_relaxed);
    return __libc_pvalloc(size);
}

void free(void* p) noexcept {
    if (!p) return;
    freeCount.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}
}

bool MallocCounted() {
    return true;
}

#endif
