#include "platform/memory/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "platform/memory/frame_memory.h"
#include "scene/address_sanitizer.h"

namespace {

constexpr size_t kMapThreshold = size_t{1} << 20;
constexpr size_t kSmallPage = 4096;
constexpr size_t kHugePage = size_t{2} << 20;
#ifdef TRELLIS_ASAN
constexpr bool kCheckedHeap = true;
#else
constexpr bool kCheckedHeap = false;
#endif

// The length of the mapping of a block of `bytes`: whole small pages.
size_t MappedLength(size_t bytes) {
    return (bytes + kSmallPage - 1) & ~(kSmallPage - 1);
}

// Whole huge pages: a block that ends inside a huge page would get small pages there.
size_t HugeMappedLength(size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// `length` bytes (whole small pages) mapped on their own, starting on a huge-page boundary.
void* MapHugeAligned(size_t length) {
    // Mapped with a huge page to spare, then trimmed to start on a huge-page boundary, so
    // that every whole 2 MiB of the block can be one huge page.
    const size_t spare = length + kHugePage;
    void* mapped = mmap(nullptr, spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    const uintptr_t end = aligned + length;
    if (start + spare > end) munmap(reinterpret_cast<void*>(end), start + spare - end);
    void* block = reinterpret_cast<void*>(aligned);
    // Only a hint: the block is valid whether or not the kernel takes it.
    madvise(block, length, MADV_HUGEPAGE);
    return block;
}

void* Allocate(size_t bytes) {
    if (bytes < kMapThreshold) return std::malloc(bytes);
    if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
    return MapHugeAligned(MappedLength(bytes));
}

void Release(void* block, size_t bytes) {
    if (bytes < kMapThreshold) {
        std::free(block);
        return;
    }
    munmap(block, MappedLength(bytes));
}

constexpr ArenaMemory kHugePageMemory = {Allocate, Release, nullptr};

}  // namespace

const ArenaMemory& HugePageArenaMemory() {
    return kHugePageMemory;
}

void* AllocateFrameMemory(size_t bytes) {
    // Under AddressSanitizer every frame comes from the heap, where overruns are caught.
    if (bytes < kMapThreshold || kCheckedHeap) return std::malloc(bytes);
    if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
    return MapHugeAligned(HugeMappedLength(bytes));
}

void ReleaseFrameMemory(void* block, size_t bytes) {
    if (!block) return;
    if (bytes < kMapThreshold || kCheckedHeap) {
        std::free(block);
        return;
    }
    munmap(block, HugeMappedLength(bytes));
}
