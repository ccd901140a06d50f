// The cost of one frame tick of the viewer on the real Win32 and DirectDraw: lock, clear,
// turn and draw every object, copy to the back buffer and flip. The shell starts as
// WinMain starts it, then the timer messages are sent by hand, as fast as they go.
//
//   tick_bench.exe [scene.3ds] [ticks]
//
// Prints the median, mean and slowest tick in microseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/scene_messages.h"
#include "viewer_start.h"

namespace {

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    const char* scenePath = argc > 1 ? argv[1] : "svet.3ds";
    const int ticks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    constexpr int kWarmUpTicks = 100;

    HWND window = StartViewer(GetModuleHandleA(nullptr), scenePath);
    if (!window) {
        std::fprintf(stderr, "tick_bench: %s\n", LoadFailureText(scenePath).c_str());
        return 1;
    }
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    if (displayContext.workSurfaceB == nullptr) {
        std::fprintf(stderr, "tick_bench: the display could not be set up\n");
        return 1;
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times(static_cast<size_t>(ticks));
    for (int i = 0; i < kWarmUpTicks; ++i)
        WindowProc(window, WM_TIMER, 0, 0);
    for (double& time : times) {
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        WindowProc(window, WM_TIMER, 0, 0);
        QueryPerformanceCounter(&after);
        time = Microseconds(before, after, frequency);
    }
    ShutdownDisplay();
    DestroyWindow(window);

    double total = 0;
    for (double time : times)
        total += time;
    std::sort(times.begin(), times.end());
    int32_t faces = 0;
    for (int32_t i = 0; i < viewerState.scene->objectCount; ++i)
        faces += viewerState.scene->objects[i].faceCount;
    std::printf(
        "one tick (%d objects, %d faces), %d ticks: median %.0f us, mean %.0f us, "
        "slowest %.0f us\n",
        viewerState.scene->objectCount, faces, ticks, times[times.size() / 2], total / ticks,
        times.back());
    return 0;
}
