// The memory a run may take, counted as it is taken: every operator new of the program
// (memory_budget_new.cpp) and every block of the scene arena (CountedArenaMemory).
//
// Without --max-memory a run may take 64 MiB, plus 4 times the size of the scene file being
// loaded (the largest of a list), plus 24 bytes for each face kept (a face is 8 bytes in the file
// and 48 in memory: the one record that needs more than 4 times its bytes), plus the bytes of
// standard input held in memory; a thumbnail at most 1 GiB in all. --max-memory N replaces the rule
// with N. Frames (surfaces, image rows) come from frame memory and are not counted: their size is
// the command line's, not the file's.
//
// An allocation beyond the limit fails: the scene arena's makes the load fail with the
// reason (MemoryRefusalReason), operator new's throws std::bad_alloc, which main turns into
// the same one line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scene/records.h"

inline constexpr int64_t kMemoryBase = int64_t{64} << 20;
inline constexpr int64_t kMemoryPerFileByte = 4;
inline constexpr int64_t kMemoryPerFace = 24;
inline constexpr int64_t kThumbnailMemory = int64_t{1} << 30;

struct MemoryBudget {
    int64_t cap = 0;         // a limit the allowance never passes (thumbnails); 0: none
    bool fixed = false;      // --max-memory: `cap` is the limit, the allowance does not apply
    bool counting = false;   // the rule applies (main turns it on; tests and tools leave it)
    int64_t inputHeld = 0;   // bytes of standard input held in memory
    int64_t inputSize = 0;   // ... and its size as a scene file before the loader measures it
    int64_t otherFiles = 0;  // bytes of the other files read whole (AllowInputFile)
    // Why the last allocation was refused; empty when none was. A fixed buffer: it is
    // written inside operator new, which must not allocate.
    char refusal[192] = {};
};

// The module's state. The counts of bytes in use are atomic, apart from it.
extern MemoryBudget memoryBudget;

// Turns the rule on: `maxMemory` from --max-memory (0 when not given), and whether the run
// draws a thumbnail.
void StartMemoryBudget(int64_t maxMemory, bool thumbnail);

// Standard input read whole into memory: `held` bytes taken for it, `size` of them the
// scene. Allowed for as the scene file and once more.
void AllowHeldInput(int64_t held, int64_t size);

// A file the run reads whole besides the scene (a map the export embeds), of `bytes` bytes:
// allowed for as the scene file is, kMemoryPerFileByte times its size.
void AllowInputFile(uint64_t bytes);

// The limit now: the allowance for the largest scene file the loader has measured in the
// run (or standard input) and the other files read, or the fixed limit.
int64_t MemoryLimit();

// Counts `bytes` as taken; false, counting nothing and noting the reason, when they would
// pass the limit.
bool TakeMemory(size_t bytes);

// Counts `bytes` as taken whatever the limit (what is already in hand).
void CountMemory(size_t bytes);

// Counts `bytes` as given back.
void GiveMemory(size_t bytes);

// The arena memory `inner`, counted: the scene's blocks are taken against the limit.
const ArenaMemory& CountedArenaMemory(const ArenaMemory& inner);

// The reason of the last refusal ("the scene needs more memory than ..."), or "" when none.
const char* MemoryRefusalReason();

// Counted bytes in use now, and the most that were in use at once.
int64_t MemoryInUse();
int64_t PeakMemoryInUse();
