// Counts the allocations and releases of the whole process, for the soak run. The global
// operator new and delete (every form) are replaced, and, where no sanitizer owns the
// allocator, so are malloc, calloc, realloc, the aligned forms and free, over glibc's own
// allocator. Reading the counts allocates nothing.
#pragma once

#include <cstdint>

struct AllocationCounts {
    uint64_t news;     // operator new, new[], their aligned and nothrow forms
    uint64_t deletes;  // operator delete and delete[] of a non-null pointer, every form
    uint64_t mallocs;  // malloc, calloc, realloc, aligned_alloc, posix_memalign, memalign, ...
    uint64_t frees;    // free of a non-null pointer (realloc to a new block counts one too)
};

AllocationCounts CurrentAllocationCounts();

// The difference b - a of two samples.
AllocationCounts AllocationsBetween(const AllocationCounts& a, const AllocationCounts& b);

// True when malloc and free are counted; false under AddressSanitizer, which replaces them
// itself (operator new and delete are counted everywhere).
bool MallocCounted();
