// Counting memory against the run's allowance.
#include "app/memory_budget.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>

#include "scene/loader.h"

MemoryBudget memoryBudget;

namespace {

// The counters, shared by every thread that allocates.
std::atomic<int64_t> usedBytes{0};
std::atomic<int64_t> peakBytes{0};

// Writes the reason into the fixed buffer: nothing here allocates.
void NoteRefusal(int64_t limit) {
    MemoryBudget& b = memoryBudget;
    const char* which = b.fixed ? "that --max-memory allows"
                        : b.cap != 0 && limit == b.cap
                            ? "a thumbnail may take (--max-memory raises it)"
                            : "allowed for a file of its size "
                              "(--max-memory raises it)";
    std::snprintf(b.refusal, sizeof b.refusal,
                  "the scene needs more memory than the %" PRId64 " MiB %s",
                  (limit + (1 << 20) - 1) >> 20, which);
}

ArenaMemory innerArena = {};

// Blocks kept from a scene freed before (the arena's cache) are counted too; they go back
// before a block is refused for want of room (a small scene after a large one in a list).
void* CountedArenaAllocate(size_t bytes) {
    if (!TakeMemory(bytes)) {
        if (ArenaCacheBytes() == 0) return nullptr;
        ReleaseArenaCache();
        if (!TakeMemory(bytes)) return nullptr;
        memoryBudget.refusal[0] = '\0';
    }
    void* block = innerArena.allocate(bytes);
    if (block == nullptr) GiveMemory(bytes);
    return block;
}

void CountedArenaRelease(void* block, size_t bytes) {
    innerArena.release(block, bytes);
    GiveMemory(bytes);
}

const char* CountedArenaRefusal() {
    return memoryBudget.refusal[0] != '\0' ? memoryBudget.refusal : nullptr;
}

ArenaMemory countedArena = {};

}  // namespace

void StartMemoryBudget(int64_t maxMemory, bool thumbnail) {
    MemoryBudget& b = memoryBudget;
    b.fixed = maxMemory != 0;
    b.cap = maxMemory != 0 ? maxMemory : thumbnail ? kThumbnailMemory : 0;
    b.counting = true;
}

void AllowHeldInput(int64_t held, int64_t size) {
    memoryBudget.inputHeld = held;
    memoryBudget.inputSize = size;
}

void AllowInputFile(uint64_t bytes) {
    const int64_t most = INT64_MAX / (4 * kMemoryPerFileByte);
    memoryBudget.otherFiles = static_cast<int64_t>(std::min<uint64_t>(
        static_cast<uint64_t>(most), static_cast<uint64_t>(memoryBudget.otherFiles) + bytes));
}

int64_t MemoryLimit() {
    const MemoryBudget& b = memoryBudget;
    if (!b.counting) return INT64_MAX;
    if (b.fixed) return b.cap;
    // The largest file the loader has measured in this run (or standard input before it
    // does), and the most faces one kept: what is held for an earlier scene of a list (the
    // renderer's arrays, say) never counts against a smaller one's allowance.
    static int64_t largestFile = 0;
    static int64_t mostFaces = 0;
    largestFile = std::max({largestFile, loaderState.fileLength, b.inputSize});
    if (CurrentLoadLimits().keepFaces) mostFaces = std::max(mostFaces, LastLoadTotals().faces);
    const int64_t file = largestFile;
    const int64_t faces = mostFaces;
    const int64_t allowance = kMemoryBase + kMemoryPerFileByte * (file + b.otherFiles) +
                              kMemoryPerFace * faces + b.inputHeld;
    return b.cap != 0 ? std::min(allowance, b.cap) : allowance;
}

bool TakeMemory(size_t bytes) {
    const int64_t amount = static_cast<int64_t>(bytes);
    const int64_t now = usedBytes.fetch_add(amount, std::memory_order_relaxed) + amount;
    if (memoryBudget.counting) {
        const int64_t limit = MemoryLimit();
        if (now > limit) {
            usedBytes.fetch_sub(amount, std::memory_order_relaxed);
            NoteRefusal(limit);
            return false;
        }
    }
    int64_t peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return true;
}

void CountMemory(size_t bytes) {
    const int64_t amount = static_cast<int64_t>(bytes);
    const int64_t now = usedBytes.fetch_add(amount, std::memory_order_relaxed) + amount;
    int64_t peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void GiveMemory(size_t bytes) {
    usedBytes.fetch_sub(static_cast<int64_t>(bytes), std::memory_order_relaxed);
}

int64_t MemoryInUse() {
    return usedBytes.load(std::memory_order_relaxed);
}

int64_t PeakMemoryInUse() {
    return peakBytes.load(std::memory_order_relaxed);
}

const ArenaMemory& CountedArenaMemory(const ArenaMemory& inner) {
    innerArena = inner;
    countedArena = ArenaMemory{CountedArenaAllocate, CountedArenaRelease, CountedArenaRefusal};
    return countedArena;
}

const char* MemoryRefusalReason() {
    return memoryBudget.refusal;
}
