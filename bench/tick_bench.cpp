// One frame tick of the viewer (lock, clear, turn and draw every object, copy and flip) on
// the headless backend, for the bundled scene and for an empty one (the fixed cost of
// clearing and presenting 640x480 pixels).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "app/shell.h"
#include "chunk_writer.h"
#include "display/display.h"
#include "platform/headless/headless.h"
#include "render/wireframe.h"
#include "scene/loader.h"
#include "viewer_start.h"

namespace {

HWND StartHeadlessViewer(const char* scenePath) {
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetShellState();
    return StartViewer(nullptr, scenePath);
}

void StopViewer() {
    ShutdownDisplay();
    ResetDisplayContext();
    ResetShellState();
    ResetHeadlessBackend();
}

void RunTicks(benchmark::State& state, const char* scenePath) {
    HWND window = StartHeadlessViewer(scenePath);
    if (!window) {
        state.SkipWithError(
            ("cannot load " + std::string(scenePath) + ": " + LastLoadError().message).c_str());
        StopViewer();
        return;
    }
    int32_t faces = 0;
    for (int32_t i = 0; i < shellState.loadedScene->objectCount; ++i) {
        faces += shellState.loadedScene->objects[i].faceCount;
    }
    for (auto _ : state)
        WindowProc(window, WM_TIMER, 0, 0);
    state.counters["objects"] = shellState.loadedScene->objectCount;
    state.counters["faces"] = faces;
    state.counters["presented"] = HeadlessFramesPresented();
    StopViewer();
}

void BM_TickBundledScene(benchmark::State& state) {
    RunTicks(state, TRELLIS_SOURCE_DIR "/assets/svet.3ds");
}
BENCHMARK(BM_TickBundledScene)->Unit(benchmark::kMicrosecond);

void BM_TickEmptyScene(benchmark::State& state) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] { w.Empty(chunk::Editor); });
    const std::string path = "tick_bench_empty.3ds";
    WriteBytesToFile(w.bytes, path.c_str());
    RunTicks(state, path.c_str());
    std::remove(path.c_str());
}
BENCHMARK(BM_TickEmptyScene)->Unit(benchmark::kMicrosecond);

}  // namespace
