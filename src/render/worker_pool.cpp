// The pool of workers and the staged taking of pieces.
#include "render/worker_pool_internal.h"

#include <algorithm>
#include <atomic>

#include "render/frame_stop.h"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__) && !defined(TRELLIS_NO_THREADS)
#define TRELLIS_NO_THREADS 1
#endif

#if !defined(TRELLIS_NO_THREADS)
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#endif

namespace {

struct PoolState {
    // The job being run, set by the caller before any worker takes a piece.
    StagedJob job;
    std::atomic<int64_t> next[kMaxStages] = {};
    std::atomic<int64_t> done[kMaxStages] = {};

#if !defined(TRELLIS_NO_THREADS)
    std::mutex mutex;
    std::condition_variable wake;  // workers wait here for a job or the end
    std::condition_variable idle;  // the caller waits here for its workers to leave a job
    std::vector<std::thread> workers;
    uint64_t jobNumber = 0;  // jobs handed to the pool so far
    bool open = false;       // the current job still takes workers
    int32_t busy = 0;        // workers inside the current job
    bool quit = false;
    ~PoolState() {
        StopPool();
    }
#endif
};

PoolState pool;

// Takes pieces of each stage in turn until none is left, waiting at the end of a stage until
// every piece of it is done (by whichever thread took it). A stop asked for (frame_stop.h)
// leaves the job unfinished: every thread tests the flag between pieces, and the caller's
// thread also polls its input (CheckFrameStop) there.
void TakePieces(PoolState& p, int32_t thread) {
    const StagedJob& job = p.job;
    for (int32_t stage = 0; stage < job.stageCount; ++stage) {
        for (;;) {
            if (FrameStopDue(thread)) return;
            const int64_t piece = p.next[stage].fetch_add(1, std::memory_order_relaxed);
            if (piece >= job.pieces[stage]) break;
            job.run(job.context, stage, piece, thread);
            p.done[stage].fetch_add(1, std::memory_order_release);
        }
        while (p.done[stage].load(std::memory_order_acquire) < job.pieces[stage]) {
            if (FrameStopRequested()) return;
#if !defined(TRELLIS_NO_THREADS)
            std::this_thread::yield();
#endif
        }
    }
}

void Begin(PoolState& p, const StagedJob& job) {
    p.job = job;
    for (int32_t s = 0; s < kMaxStages; ++s) {
        p.next[s].store(0, std::memory_order_relaxed);
        p.done[s].store(0, std::memory_order_relaxed);
    }
}

#if !defined(TRELLIS_NO_THREADS)

void WorkerLoop(PoolState& p, int32_t thread) {
    std::unique_lock<std::mutex> lock(p.mutex);
    uint64_t seen = p.jobNumber;
    for (;;) {
        p.wake.wait(lock, [&] { return p.quit || (p.open && p.jobNumber != seen); });
        if (p.quit) return;
        seen = p.jobNumber;
        ++p.busy;
        lock.unlock();
        TakePieces(p, thread);
        lock.lock();
        if (--p.busy == 0) p.idle.notify_one();
    }
}

#endif

}  // namespace

void StopPool() {
#if !defined(TRELLIS_NO_THREADS)
    PoolState& p = pool;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.quit = true;
    }
    p.wake.notify_all();
    for (std::thread& worker : p.workers)
        worker.join();
    p.workers.clear();
    p.quit = false;
#endif
}

void SetPoolThreads(int32_t threads) {
#if !defined(TRELLIS_NO_THREADS)
    PoolState& p = pool;
    const size_t wanted = static_cast<size_t>(std::clamp(threads, 1, kMaxThreads) - 1);
    if (p.workers.size() == wanted) return;
    StopPool();
    try {
        p.workers.reserve(wanted);
        while (p.workers.size() < wanted) {
            const int32_t thread = static_cast<int32_t>(p.workers.size()) + 1;
            p.workers.emplace_back(WorkerLoop, std::ref(p), thread);
        }
    } catch (const std::exception&) {
    }
#else
    (void)threads;
#endif
}

int32_t PoolThreads() {
#if !defined(TRELLIS_NO_THREADS)
    return static_cast<int32_t>(pool.workers.size()) + 1;
#else
    return 1;
#endif
}

void RunStagedJob(const StagedJob& job, bool withWorkers) {
    PoolState& p = pool;
    Begin(p, job);
#if !defined(TRELLIS_NO_THREADS)
    if (withWorkers && !p.workers.empty()) {
        {
            std::lock_guard<std::mutex> lock(p.mutex);
            ++p.jobNumber;
            p.open = true;
        }
        p.wake.notify_all();
        TakePieces(p, 0);
        std::unique_lock<std::mutex> lock(p.mutex);
        p.open = false;
        p.idle.wait(lock, [&] { return p.busy == 0; });
        return;
    }
#else
    (void)withWorkers;
#endif
    TakePieces(p, 0);
}
