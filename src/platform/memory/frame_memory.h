// Memory for whole frames (surfaces, image rows): blocks of a mebibyte or more are mapped in
// whole 2 MiB transparent huge pages, so that the first touch of a 640x480 frame costs one
// page fault instead of three hundred (most of the time a one-frame `--output` takes);
// smaller ones come from the heap. Where huge pages are off the mapping still works, with
// small pages. A mapped block reads as zeros until written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// `bytes` of memory, or nullptr when none is left.
void* AllocateFrameMemory(size_t bytes);

// Returns a block of AllocateFrameMemory(bytes).
void ReleaseFrameMemory(void* block, size_t bytes);

// For std::vector: the elements of a frame in frame memory.
template <class T>
struct FrameAllocator {
    using value_type = T;

    FrameAllocator() = default;
    template <class U>
    FrameAllocator(const FrameAllocator<U>&) noexcept {}

    T* allocate(size_t count) {
        if (count > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        void* block = AllocateFrameMemory(count * sizeof(T));
        if (!block) throw std::bad_alloc();
        return static_cast<T*>(block);
    }

    void deallocate(T* block, size_t count) noexcept {
        ReleaseFrameMemory(block, count * sizeof(T));
    }

    template <class U>
    bool operator==(const FrameAllocator<U>&) const noexcept {
        return true;
    }
};
