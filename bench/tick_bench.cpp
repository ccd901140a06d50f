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

namespace {

// The shell's start-up without its message loop; the ticks are then sent by hand.
HWND StartViewer(const char* scenePath) {
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetShellState();
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = kWindowClassName;
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_POPUP, 0, 0, 640, 480,
                                  nullptr, nullptr, nullptr, nullptr);
    ShellState& s = shellState;
    MatrixIdentity(s.viewCamera);
    MatrixRotateZ(s.viewCamera, kCameraTurnZ);
    MatrixRotateX(s.viewCamera, kCameraTurnX);
    MatrixTranslate(s.viewCamera, 0.0f, 0.0f, kCameraDistance);
    s.loadedScene = LoadScene(scenePath);
    if (!s.loadedScene) return nullptr;
    for (int32_t i = 0; i < s.loadedScene->objectCount; ++i) {
        MatrixIdentity(s.loadedScene->objects[i].matrix);
    }
    SetProjection(s.screenWidth, s.screenHeight);
    InitDisplay(window, s.screenWidth, s.screenHeight);
    return window;
}

void StopViewer() {
    ShutdownDisplay();
    ResetDisplayContext();
    ResetShellState();
    ResetHeadlessBackend();
}

void RunTicks(benchmark::State& state, const char* scenePath) {
    HWND window = StartViewer(scenePath);
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
