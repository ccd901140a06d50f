// Frame memory from the plain heap, where there are no huge pages to map (the browser).
#include <cstdlib>

#include "platform/memory/frame_memory.h"

void* AllocateFrameMemory(size_t bytes) {
    return std::malloc(bytes);
}

void ReleaseFrameMemory(void* block, size_t) {
    std::free(block);
}
