// Scene allocation: one arena per load, so a failed or finished load is released whole.
#include "scene/records.h"

#include <cstdlib>
#include <cstring>

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

// A dedicated block goes behind the newest shared block, so that block keeps filling.
ArenaBlock* NewBlock(SceneArena& arena, size_t size, bool dedicated) {
    if (size > SIZE_MAX - kBlockHeader) return nullptr;
    // malloc returns memory aligned for any fundamental type (16 bytes on our targets).
    void* memory = std::malloc(kBlockHeader + size);
    if (memory == nullptr) return nullptr;
    ArenaBlock* block = static_cast<ArenaBlock*>(memory);
    block->size = size;
    block->used = 0;
    if (dedicated && arena.blocks != nullptr) {
        block->next = arena.blocks->next;
        arena.blocks->next = block;
    } else {
        block->next = arena.blocks;
        arena.blocks = block;
    }
    arena.bytesReserved += kBlockHeader + size;
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
    ArenaBlock* block = scene->arena.blocks;
    while (block != nullptr) {
        ArenaBlock* next = block->next;
        std::free(block);
        block = next;
    }
    scene->~Scene();
    std::free(scene);
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
