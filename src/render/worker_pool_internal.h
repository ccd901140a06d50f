// The frame renderer's threads: the caller and a pool of workers take the pieces of one
// frame's work, stage by stage. Internal to src/render.
//
// A job has up to kMaxStages stages, each cut into pieces that the threads take one at a time
// from a shared counter (a thread the system runs late simply takes fewer). No piece of a
// stage starts before every piece of the stage before it is done. Which thread takes a piece
// never changes what the piece computes: a piece's result must depend on the piece alone.
// Built with TRELLIS_NO_THREADS (or for WebAssembly without threads) there are no workers
// and the caller takes every piece.
#pragma once

#include <cstdint>

inline constexpr int32_t kMaxStages = 3;
inline constexpr int32_t kMaxThreads = 64;

struct StagedJob {
    int32_t stageCount = 0;
    int64_t pieces[kMaxStages] = {};
    // Runs one piece; `thread` is 0 for the caller and 1 to threads - 1 for the workers, so a
    // piece can use scratch kept per thread.
    void (*run)(void* context, int32_t stage, int64_t piece, int32_t thread) = nullptr;
    void* context = nullptr;
};

// Starts or stops workers so that `threads` threads (the caller's included, 1 to
// kMaxThreads) take pieces. A worker that cannot be started leaves the pool smaller.
void SetPoolThreads(int32_t threads);

// The threads that take pieces now: 1 plus the running workers.
int32_t PoolThreads();

// Runs the job to its end: with the workers when `withWorkers` (and there are any), else
// on the caller alone. Not for concurrent use.
void RunStagedJob(const StagedJob& job, bool withWorkers);

// Stops the workers (also done at process exit).
void StopPool();
