// The program's operator new and delete, counted against the memory budget
// (memory_budget.h). Linked into the program only: the libraries and the tests keep the
// standard ones.
//
// Each block is counted at the size malloc really gives it (malloc_usable_size), so that a
// block's release gives back exactly what its allocation took, whichever form of delete
// releases it.
#include <malloc.h>

#include <cstdlib>
#include <new>

#include "app/memory_budget.h"

namespace {

void* Take(std::size_t size, std::size_t alignment) {
    if (size == 0) size = 1;
    if (alignment > alignof(std::max_align_t))
        size = (size + alignment - 1) / alignment * alignment;
    if (!TakeMemory(size)) return nullptr;
    void* block = alignment <= alignof(std::max_align_t) ? std::malloc(size)
                                                         : std::aligned_alloc(alignment, size);
    if (block == nullptr) {
        GiveMemory(size);
        return nullptr;
    }
    // malloc's rounding beyond what was asked is counted too, never refused.
    const std::size_t usable = malloc_usable_size(block);
    if (usable > size) CountMemory(usable - size);
    return block;
}

void Give(void* block) {
    if (block == nullptr) return;
    GiveMemory(malloc_usable_size(block));
    std::free(block);
}

void* TakeOrThrow(std::size_t size, std::size_t alignment) {
    void* block = Take(size, alignment);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(std::size_t size) {
    return TakeOrThrow(size, 0);
}
void* operator new[](std::size_t size) {
    return TakeOrThrow(size, 0);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Take(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Take(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return TakeOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return TakeOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Take(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return Take(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* block) noexcept {
    Give(block);
}
void operator delete[](void* block) noexcept {
    Give(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Give(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Give(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    Give(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    Give(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    Give(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    Give(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    Give(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Give(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    Give(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    Give(block);
}
