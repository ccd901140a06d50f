// One frame tick of the viewer (lock, clear, turn and draw every object, copy and flip) on
// the headless backend, for the bundled scene, for an empty one (the fixed cost of
// clearing and presenting 640x480 pixels) and for the generated 50 MB scene of the load
// benchmark (about 1.2 million vertices and 1.8 million faces). Target for that one: at most
// 20 ms a tick (50 ticks a second); played through its keyframes, within 1.3 times its turn. It is
// measured against a floor taken in the same run (x_floor): one streaming pass reading every vertex
// and face of the loaded scene, which no tick can avoid.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/shell.h"
#include "chunk_writer.h"
#include "display/display.h"
#include "large_scene.h"
#include "platform/headless/headless.h"
#include "render/frame_render.h"
#include "render/shade.h"
#include "render/wireframe.h"
#include "scene/loader.h"
#include "viewer_start.h"

namespace {

HWND StartHeadlessViewer(const char* scenePath) {
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    return StartViewer(nullptr, scenePath);
}

void StopViewer() {
    ShutdownDisplay();
    ResetDisplayContext();
    ResetViewer(viewerState);
    ResetHeadlessBackend();
}

double floorSeconds = 0.0;  // mean of BM_StreamLargeSceneFloor, which runs before the tick

void RunTicks(benchmark::State& state, const char* scenePath) {
    HWND window = StartHeadlessViewer(scenePath);
    if (!window) {
        state.SkipWithError(
            ("cannot load " + std::string(scenePath) + ": " + LastLoadError().message).c_str());
        StopViewer();
        return;
    }
    int32_t faces = 0;
    for (int32_t i = 0; i < viewerState.scene->objectCount; ++i) {
        faces += viewerState.scene->objects[i].faceCount;
    }
    for (auto _ : state)
        WindowProc(window, WM_TIMER, 0, 0);
    state.counters["objects"] = viewerState.scene->objectCount;
    state.counters["faces"] = faces;
    state.counters["presented"] = HeadlessFramesPresented();
    StopViewer();
}

uint32_t Bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The floor: one pass over the loaded large scene reading every vertex position and every
// face (plane and corners), as a tick must, with nothing computed but an exclusive or.
void BM_StreamLargeSceneFloor(benchmark::State& state) {
    Scene* scene = LoadScene(TheLargeScene().path.c_str());
    if (scene == nullptr) {
        state.SkipWithError("the large scene does not load");
        return;
    }
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        uint64_t sum = 0;
        for (int32_t i = 0; i < scene->objectCount; ++i) {
            const MeshObject& object = scene->objects[i];
            for (int32_t v = 0; v < object.vertexCount; ++v) {
                const Vertex& vertex = object.vertices[v];
                sum ^= Bits(vertex.x) ^ Bits(vertex.y) ^ Bits(vertex.z);
            }
            for (int32_t f = 0; f < object.faceCount; ++f) {
                const Face& face = object.faces[f];
                sum ^= reinterpret_cast<uintptr_t>(face.vertex0) ^
                       reinterpret_cast<uintptr_t>(face.vertex1) ^
                       reinterpret_cast<uintptr_t>(face.vertex2) ^ Bits(face.plane[0]) ^
                       Bits(face.plane[1]) ^ Bits(face.plane[2]) ^ Bits(face.plane[3]);
            }
        }
        benchmark::DoNotOptimize(sum);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    floorSeconds = total / static_cast<double>(state.iterations());
    int64_t vertices = 0, faces = 0;
    for (int32_t i = 0; i < scene->objectCount; ++i) {
        vertices += scene->objects[i].vertexCount;
        faces += scene->objects[i].faceCount;
    }
    state.counters["objects"] = scene->objectCount;
    state.counters["vertices"] = static_cast<double>(vertices);
    state.counters["faces"] = static_cast<double>(faces);
    FreeScene(scene);
}
BENCHMARK(BM_StreamLargeSceneFloor)->Unit(benchmark::kMillisecond)->UseManualTime();

// Sends the timer ticks of the benchmark's loop, each timed alone; their mean in seconds.
double TimedTicks(benchmark::State& state, HWND window) {
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        WindowProc(window, WM_TIMER, 0, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    return total / static_cast<double>(state.iterations());
}

// The viewer's tick on the large scene, with the given number of drawing threads.
void BM_TickLargeScene(benchmark::State& state) {
    FrameRenderSettings settings = DefaultFrameRenderSettings();
    settings.threads = static_cast<int32_t>(state.range(0));
    ConfigureFrameRender(settings);
    HWND window = StartHeadlessViewer(TheLargeScene().path.c_str());
    if (!window) {
        state.SkipWithError(("cannot load the large scene: " + LastLoadError().message).c_str());
        StopViewer();
        return;
    }
    const double mean = TimedTicks(state, window);
    state.counters["threads"] = settings.threads;
    state.counters["presented"] = HeadlessFramesPresented();
    if (floorSeconds > 0.0) state.counters["x_floor"] = mean / floorSeconds;
    StopViewer();
    ConfigureFrameRender(DefaultFrameRenderSettings());
}
BENCHMARK(BM_TickLargeScene)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);

// The viewer's tick on the large scene in the fit view (a named scene's), two drawing
// threads: its plain turn, then its keyframes played (--animate: an instance per object node,
// each node's matrix folded with the view), in the wireframe and shaded. Target: the animated
// tick within 1.3 times the turn's in the same mode (x_turn, against the turn measured just
// before in the same run).
double turnSeconds[kRenderModeCount] = {};

void BM_TickLargeSceneTurnAndAnimated(benchmark::State& state) {
    const auto mode = static_cast<RenderMode>(state.range(0));
    const bool animated = state.range(1) != 0;
    FrameRenderSettings settings = DefaultFrameRenderSettings();
    settings.threads = 2;
    ConfigureFrameRender(settings);
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    viewerState.startPolicy = OpenPolicy{ViewMode::Fit, nullptr, true, mode};
    RequestPlayback(viewerState.playback, animated, nullptr);
    HWND window = StartViewer(nullptr, TheLargeScene().path.c_str());
    if (!window) {
        state.SkipWithError(("cannot load the large scene: " + LastLoadError().message).c_str());
        StopViewer();
        return;
    }
    const double mean = TimedTicks(state, window);
    const size_t m = static_cast<size_t>(mode);
    if (!animated) {
        turnSeconds[m] = mean;
    } else if (turnSeconds[m] > 0.0) {
        state.counters["x_turn"] = mean / turnSeconds[m];
    }
    state.counters["instances"] = animated ? static_cast<double>(viewerState.playback.shown.size())
                                           : static_cast<double>(viewerState.scene->objectCount);
    state.SetLabel(std::string(RenderModeName(mode)) + (animated ? ", animated" : ", turn"));
    StopViewer();
    ConfigureFrameRender(DefaultFrameRenderSettings());
}
BENCHMARK(BM_TickLargeSceneTurnAndAnimated)
    ->ArgNames({"mode", "animated"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);

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
