// Scene allocation: one arena per load, so a failed or finished load is released whole.
#include "scene/records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "scene/address_sanitizer.h"

struct ArenaBlock {
    ArenaBlock* next;
    size_t size;  // usable bytes after the header
    size_t used;
};

namespace {

constexpr size_t kBlockHeader = (sizeof(ArenaBlock) + 15) & ~size_t{15};
constexpr size_t kBlockSize = 64 * 1024;  // small records share blocks of this size

unsigned char* BlockData(ArenaBlock* block) {
    return reinterpret_cast<unsigned char*>(block) + kBlockHeader;
}

// The blocks of the last freed scene, kept for the next load, smallest first.
//
// A block the heap hands out is fresh pages, and the kernel's first touch of each page
// costs more than everything the loader does with it: a 50 MB scene takes 125 MB of
// records, about 30,000 pages. Loading one file after another (a batch, the fuzzer, a
// reload) would pay that every time; with the blocks of the scene just freed ready, it
// does not. The cache holds no more than one scene's blocks and at most kCacheLimit bytes:
// freeing a scene first returns the blocks still cached to the heap.
//
// The record is plain (its index is a malloc'd array) so that it is never destroyed: a
// scene freed during the process's exit still finds it whole, and leak checkers see the
// blocks as held.
struct BlockCache {
    ArenaBlock** blocks;  // sorted by size, smallest first
    size_t count;
    size_t capacity;
    size_t bytes;  // headers included
};
BlockCache blockCache;
constexpr size_t kCacheLimit = size_t{1} << 30;

void MarkCached(ArenaBlock* block, bool cached) {
#ifdef TRELLIS_ASAN
    // A freed scene's memory stays unaddressable while cached, so a use after FreeScene
    // is still reported.
    if (cached) {
        ASAN_POISON_MEMORY_REGION(BlockData(block), block->size);
    } else {
        ASAN_UNPOISON_MEMORY_REGION(BlockData(block), block->size);
    }
#else
    (void)block;
    (void)cached;
#endif
}

bool SmallerBlock(const ArenaBlock* a, const ArenaBlock* b) {
    return a->size < b->size;
}

// The smallest cached block of at least `size` usable bytes and at most half as much
// again (a bigger one would waste what it does not use), taken out of the cache.
ArenaBlock* TakeCachedBlock(size_t size) {
    BlockCache& c = blockCache;
    ArenaBlock** end = c.blocks + c.count;
    ArenaBlock** at = std::lower_bound(
        c.blocks, end, size, [](const ArenaBlock* b, size_t want) { return b->size < want; });
    if (at == end || (*at)->size - size > size / 2) return nullptr;
    ArenaBlock* block = *at;
    std::copy(at + 1, end, at);
    c.count -= 1;
    c.bytes -= kBlockHeader + block->size;
    MarkCached(block, false);
    return block;
}

// Moves every block of `first`'s list into the cache, or to the heap once the cache is
// full (or its index cannot grow).
void CacheBlocks(ArenaBlock* first) {
    BlockCache& c = blockCache;
    for (ArenaBlock* block = first; block != nullptr;) {
        ArenaBlock* next = block->next;
        if (c.count == c.capacity && c.bytes + kBlockHeader + block->size <= kCacheLimit) {
            const size_t grown = c.capacity == 0 ? 64 : 2 * c.capacity;
            void* index = std::realloc(c.blocks, grown * sizeof(ArenaBlock*));
            if (index != nullptr) {
                c.blocks = static_cast<ArenaBlock**>(index);
                c.capacity = grown;
            }
        }
        if (c.count < c.capacity && c.bytes + kBlockHeader + block->size <= kCacheLimit) {
            c.blocks[c.count++] = block;
            c.bytes += kBlockHeader + block->size;
            MarkCached(block, true);
        } else {
            std::free(block);
        }
        block = next;
    }
    std::sort(c.blocks, c.blocks + c.count, SmallerBlock);
}

// A dedicated block goes behind the newest shared block, so that block keeps filling.
ArenaBlock* NewBlock(SceneArena& arena, size_t size, bool dedicated) {
    if (size > SIZE_MAX - kBlockHeader) return nullptr;
    ArenaBlock* block = TakeCachedBlock(size);
    if (block == nullptr) {
        // malloc returns memory aligned for any fundamental type (16 bytes on our targets).
        void* memory = std::malloc(kBlockHeader + size);
        if (memory == nullptr) return nullptr;
        block = static_cast<ArenaBlock*>(memory);
        block->size = size;
    }
    block->used = 0;
    if (dedicated && arena.blocks != nullptr) {
        block->next = arena.blocks->next;
        arena.blocks->next = block;
    } else {
        block->next = arena.blocks;
        arena.blocks = block;
    }
    arena.bytesReserved += kBlockHeader + block->size;
    return block;
}

}  // namespace

Scene* NewScene() {
    void* memory = std::calloc(1, sizeof(Scene));
    if (memory == nullptr) return nullptr;
    return new (memory) Scene{};
}

void FreeScene(Scene* scene) {
    if (scene == nullptr) return;
    ReleaseArenaCache();
    CacheBlocks(scene->arena.blocks);
    scene->~Scene();
    std::free(scene);
}

void ReleaseArenaCache() {
    BlockCache& c = blockCache;
    for (size_t i = 0; i < c.count; ++i) {
        MarkCached(c.blocks[i], false);
        std::free(c.blocks[i]);
    }
    std::free(c.blocks);
    c = BlockCache{};
}

size_t ArenaCacheBytes() {
    return blockCache.bytes;
}

void* ArenaAllocate(SceneArena& arena, size_t bytes, size_t align) {
    if (align == 0 || align > 16 || (align & (align - 1)) != 0) align = 16;
    // Large requests get a block of their own, so a small block is never half wasted.
    if (bytes > kBlockSize / 4) {
        ArenaBlock* block = NewBlock(arena, bytes, true);
        if (block == nullptr) return nullptr;
        block->used = bytes;
        return BlockData(block);
    }
    ArenaBlock* block = arena.blocks;
    // Only the newest block is filled further; the others are full or dedicated.
    if (block != nullptr) {
        size_t offset = (block->used + align - 1) & ~(align - 1);
        if (offset <= block->size && bytes <= block->size - offset) {
            block->used = offset + bytes;
            return BlockData(block) + offset;
        }
    }
    block = NewBlock(arena, kBlockSize, false);
    if (block == nullptr) return nullptr;
    block->used = bytes;
    return BlockData(block);
}

char* ArenaCopyName(SceneArena& arena, const char* text) {
    const size_t length = std::strlen(text);
    char* copy = static_cast<char*>(ArenaAllocate(arena, length + 1, 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length + 1);
    return copy;
}
