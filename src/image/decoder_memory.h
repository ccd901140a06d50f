// The image decoder's memory: the allocation functions the decoder is compiled with. Every
// block is counted in the TextureMemory of the decode running on the calling thread and
// refused past its limit; blocks come zeroed, so that even a broken file decodes to the same
// pixels on every run and every build.
#pragma once

#include <cstddef>

void* DecoderAllocate(size_t bytes);
// Like realloc: a new block (the old one's bytes copied, the rest zeroed), the old one freed.
void* DecoderReallocate(void* block, size_t bytes);
void DecoderFree(void* block);
