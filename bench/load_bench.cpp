// Loading a generated 50 MB scene, planes and normals included, against one fread of the
// same file in the same run. Target: at most 0.15 s and at most 8 times the fread.
//
// The scene is written at start-up by large_scene.h (about 95 meshes of up to 65,535
// vertices, with materials, lights, cameras and keyframer tracks).
//
// Two pairs are compared. BM_LoadScene, whose loads reuse the memory of the scene freed
// before (x_fread_warm: against an fread into a buffer already touched), and
// BM_LoadSceneIntoFreshMemory, whose every load gets fresh pages from the kernel as a
// program's first load does (x_fread: against an fread into a fresh buffer). The records of
// this scene take about 125 MB (a Face is 48 bytes, a Vertex 32), and first touching those
// pages costs more than reading the file, unless they come in huge pages, as the program's
// own arena memory gives them (BM_LoadSceneIntoFreshHugePages).
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "large_scene.h"
#include "platform/memory/huge_pages.h"
#include "scene/loader.h"
#include "view/views.h"

namespace {

using Clock = std::chrono::steady_clock;

double freadSeconds = 0.0;      // mean of BM_FreadWholeFile, which runs first
double freadWarmSeconds = 0.0;  // mean of BM_FreadIntoWarmBuffer
double loadWarmSeconds = 0.0;   // mean of BM_LoadScene
double loadHugeSeconds = 0.0;   // mean of BM_LoadSceneIntoFreshHugePages

// What a program pays to get the file into memory: fopen, a fresh buffer of the file's
// size, one fread, fclose, free. The loader is measured against this.
void BM_FreadWholeFile(benchmark::State& state) {
    const LargeSceneFile& file = TheLargeScene();
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        FILE* stream = std::fopen(file.path.c_str(), "rb");
        auto* buffer = static_cast<unsigned char*>(std::malloc(file.size));
        const size_t got = buffer ? std::fread(buffer, 1, file.size, stream) : 0;
        benchmark::DoNotOptimize(buffer);
        std::fclose(stream);
        std::free(buffer);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (got != file.size) state.SkipWithError("short read");
    }
    freadSeconds = total / static_cast<double>(state.iterations());
    state.counters["MB"] = static_cast<double>(file.size) / 1e6;
}

// The copy alone: one fread into a buffer whose pages are already touched.
void BM_FreadIntoWarmBuffer(benchmark::State& state) {
    const LargeSceneFile& file = TheLargeScene();
    std::vector<unsigned char> buffer(file.size, 1);
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        FILE* stream = std::fopen(file.path.c_str(), "rb");
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
        std::fclose(stream);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (got != file.size) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    freadWarmSeconds = total / static_cast<double>(state.iterations());
    state.counters["MB"] = static_cast<double>(file.size) / 1e6;
}

// LoadScene alone: the caller's FreeScene afterwards is not timed. Each load after the
// first reuses the blocks of the scene freed before it (pages already touched), as the
// warm fread reuses its buffer; with `freshMemory` the kept blocks go back after every
// load, so each load pays for fresh pages as a program's first load does, and as the
// fresh-buffer fread does. `memory` is where the arena's blocks come from (null: the heap).
void RunLoads(benchmark::State& state, bool freshMemory, const ArenaMemory* memory) {
    const LargeSceneFile& file = TheLargeScene();
    SetArenaMemory(memory);
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        Scene* scene = LoadScene(file.path.c_str());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (scene == nullptr) state.SkipWithError("load failed");
        FreeScene(scene);
        if (freshMemory) ReleaseArenaCache();
    }
    SetArenaMemory(nullptr);
    state.counters["MB"] = static_cast<double>(file.size) / 1e6;
    state.counters["meshes"] = file.meshes;
    const double mean = total / static_cast<double>(state.iterations());
    if (!freshMemory && memory == nullptr) loadWarmSeconds = mean;
    if (freshMemory && memory != nullptr) loadHugeSeconds = mean;
    const double baseline = freshMemory ? freadSeconds : freadWarmSeconds;
    if (baseline > 0.0) state.counters[freshMemory ? "x_fread" : "x_fread_warm"] = mean / baseline;
}

void BM_LoadScene(benchmark::State& state) {
    RunLoads(state, false, nullptr);
}

void BM_LoadSceneIntoFreshMemory(benchmark::State& state) {
    RunLoads(state, true, nullptr);
}

// As the program loads its one scene: fresh memory, large blocks in huge pages.
void BM_LoadSceneIntoFreshHugePages(benchmark::State& state) {
    RunLoads(state, true, &HugePageArenaMemory());
}

// What a named scene adds to its load: the fit view (the box of the finite positions, then
// a look at the vertices of the few blocks of them that reach furthest from the turning
// axis). Target: under 5 % of a load: x_load (against BM_LoadScene) and x_load_huge
// (against BM_LoadSceneIntoFreshHugePages, the program's own load) below 0.05.
void BM_FitView(benchmark::State& state) {
    const LargeSceneFile& file = TheLargeScene();
    // In the program's own memory, as the viewer loads a scene.
    SetArenaMemory(&HugePageArenaMemory());
    Scene* scene = LoadScene(file.path.c_str());
    if (scene == nullptr) {
        SetArenaMemory(nullptr);
        state.SkipWithError("load failed");
        return;
    }
    ViewState view;
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        StartView(view, *scene, ViewMode::Fit, -1, 640, 480);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        benchmark::DoNotOptimize(view.pose.distance);
        state.SetIterationTime(seconds);
        total += seconds;
    }
    FreeScene(scene);
    SetArenaMemory(nullptr);
    const double mean = total / static_cast<double>(state.iterations());
    if (loadWarmSeconds > 0.0) state.counters["x_load"] = mean / loadWarmSeconds;
    if (loadHugeSeconds > 0.0) state.counters["x_load_huge"] = mean / loadHugeSeconds;
}

BENCHMARK(BM_FreadWholeFile)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_FreadIntoWarmBuffer)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_LoadScene)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_LoadSceneIntoFreshMemory)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(3.0);
BENCHMARK(BM_LoadSceneIntoFreshHugePages)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(3.0);
BENCHMARK(BM_FitView)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

}  // namespace
