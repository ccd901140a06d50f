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
    void (*release)(void* block, size_t bytes);  // how this block goes back
};

namespace {

void* HeapAllocate(size_t bytes) {
    // malloc returns memory aligned for any fundamental type (16 bytes on our targets).
    return std::malloc(bytes);
}

void HeapRelease(void* block, size_t /*bytes*/) {
    std::free(block);
}

constexpr ArenaMemory kHeapMemory = {HeapAllocate, HeapRelease, nullptr};
ArenaMemory arenaMemory = kHeapMemory;
const char* arenaRefusal = nullptr;  // since the last NewScene

constexpr size_t kBlockHeader = (sizeof(ArenaBlock) + 15) & ~size_t{15};
constexpr size_t kMinBlockSize = size_t{64} << 10;
constexpr size_t kMaxBlockSize = size_t{16} << 20;

#ifdef TRELLIS_ASAN
// Under AddressSanitizer each allocation is followed by a poisoned gap, so that running
// past the end of one array into the next one of the same block is reported.
constexpr size_t kRedzone = 16;
#else
constexpr size_t kRedzone = 0;
#endif

// The `bytes` at `memory` are the caller's; the redzone after them is not.
void* Handed(unsigned char* memory, size_t bytes) {
#ifdef TRELLIS_ASAN
    ASAN_UNPOISON_MEMORY_REGION(memory, bytes);
    ASAN_POISON_MEMORY_REGION(memory + bytes, kRedzone);
#else
    (void)bytes;
#endif
    return memory;
}

unsigned char* BlockData(ArenaBlock* block) {
    return reinterpret_cast<unsigned char*>(block) + kBlockHeader;
}

// Each block remembers where it came from, so it goes back there whatever memory is
// installed by then.
void ReleaseBlock(ArenaBlock* block) {
#ifdef TRELLIS_ASAN
    // The memory may be mapped again later at the same address, clean.
    ASAN_UNPOISON_MEMORY_REGION(BlockData(block), block->size);
#endif
    block->release(block, kBlockHeader + block->size);
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

// Makes the whole of a block's memory unaddressable under AddressSanitizer: while it waits
// in the cache (a use after FreeScene is still reported) and, in a block in use, every byte
// not handed out.
void PoisonBlock(ArenaBlock* block) {
#ifdef TRELLIS_ASAN
    ASAN_POISON_MEMORY_REGION(BlockData(block), block->size);
#else
    (void)block;
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
            PoisonBlock(block);
        } else {
            ReleaseBlock(block);
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
        void* memory = arenaMemory.allocate(kBlockHeader + size);
        if (memory == nullptr) {
            if (arenaMemory.refusal != nullptr) arenaRefusal = arenaMemory.refusal();
            return nullptr;
        }
        block = static_cast<ArenaBlock*>(memory);
        block->size = size;
        block->release = arenaMemory.release;
    }
    // Nothing of a block is addressable until it is handed out (a cached block still is
    // poisoned from its scene's release).
    PoisonBlock(block);
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
    arenaRefusal = nullptr;
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
    for (size_t i = 0; i < c.count; ++i)
        ReleaseBlock(c.blocks[i]);
    std::free(c.blocks);
    c = BlockCache{};
}

void SetArenaMemory(const ArenaMemory* memory) {
    ReleaseArenaCache();
    arenaMemory = memory != nullptr ? *memory : kHeapMemory;
}

const char* ArenaRefusalReason() {
    return arenaRefusal;
}

const KeyframerNodeExtras& NodeExtras(const KeyframerNode& node) {
    static const KeyframerNodeExtras kNone = {};
    return node.extras != nullptr ? *node.extras : kNone;
}

const KeyTrack& NodeTrack(const KeyframerNode& node, uint16_t kind) {
    static const KeyTrack kEmpty = {};
    for (const KeyTrack* t = NodeExtras(node).tracks; t != nullptr; t = t->next) {
        if (t->kind == kind) return *t;
    }
    return kEmpty;
}

size_t ArenaCacheBytes() {
    return blockCache.bytes;
}

void* ArenaAllocate(SceneArena& arena, size_t bytes, size_t align) {
    if (align == 0 || align > 16 || (align & (align - 1)) != 0) align = 16;
    if (bytes > SIZE_MAX - kRedzone - 1) return nullptr;
    // Even an empty request takes a byte, so that every pointer handed out is distinct.
    const size_t reserved = (bytes == 0 ? 1 : bytes) + kRedzone;
    ArenaBlock* block = arena.blocks;
    // Only the newest block is filled further; the others are full or dedicated.
    if (block != nullptr) {
        size_t offset = (block->used + align - 1) & ~(align - 1);
        if (offset <= block->size && reserved <= block->size - offset) {
            block->used = offset + reserved;
            return Handed(BlockData(block) + offset, bytes);
        }
    }
    // New blocks grow with the arena, from kMinBlockSize up to kMaxBlockSize: a small scene
    // takes little, and a large one's arrays share few big blocks (which the kernel can
    // back with huge pages). A request of more than half a block gets a block of its own,
    // behind the newest, which keeps filling; so no block is ever more than half wasted.
    const size_t blockSize = std::clamp(arena.bytesReserved, kMinBlockSize, kMaxBlockSize);
    const bool dedicated = reserved > blockSize / 2;
    block = NewBlock(arena, dedicated ? reserved : blockSize, dedicated);
    if (block == nullptr) return nullptr;
    block->used = reserved;
    return Handed(BlockData(block), bytes);
}

char* ArenaCopyName(SceneArena& arena, const char* text) {
    const size_t length = std::strlen(text);
    char* copy = static_cast<char*>(ArenaAllocate(arena, length + 1, 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length + 1);
    return copy;
}
