// The shell's start-up without its message loop, for the benchmarks that send the timer
// ticks by hand: the window, the fixed camera, the scene opened as WinMain opens it (every
// object's spin from identity, the fixed view) and the display, in the order WinMain takes
// them.
#pragma once

#include "app/exit_status.h"
#include "app/shell.h"
#include "display/display.h"

// Returns the viewer's window, or nullptr when the scene cannot be loaded (LastLoadError
// says why; nothing of the display was touched).
inline HWND StartViewer(HINSTANCE instance, const char* scenePath) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClassName;
    RegisterClassExA(&windowClass);
    ViewerState& v = viewerState;
    v.window = CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_POPUP, 0, 0, v.frameWidth,
                               v.frameHeight, nullptr, nullptr, instance, nullptr);
    BuildFixedCamera(v.fixedCamera);
    v.list.paths.assign(1, scenePath);
    if (OpenScene(v, 0, v.startPolicy) != kStatusSuccess) return nullptr;
    InitDisplay(v.window, v.frameWidth, v.frameHeight);
    return v.window;
}
