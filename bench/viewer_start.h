// The shell's start-up without its message loop, for the benchmarks that send the timer
// ticks by hand: the window, the camera, the scene (every object's spin from identity),
// the projection and the display, in the order WinMain takes them.
#pragma once

#include "app/shell.h"
#include "display/display.h"
#include "render/frame_render.h"
#include "render/wireframe.h"
#include "scene/loader.h"

// Returns the viewer's window, or nullptr when the scene cannot be loaded (LastLoadError
// says why; nothing of the display was touched).
inline HWND StartViewer(HINSTANCE instance, const char* scenePath) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClassName;
    RegisterClassExA(&windowClass);
    ShellState& s = shellState;
    HWND window = CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_POPUP, 0, 0, s.screenWidth,
                                  s.screenHeight, nullptr, nullptr, instance, nullptr);
    BuildViewCamera(s.viewCamera);
    s.loadedScene = LoadScene(scenePath);
    if (!s.loadedScene) return nullptr;
    ResetObjectSpins(*s.loadedScene);
    PrepareFrameRender(s.loadedScene->objects, s.loadedScene->objectCount);
    SetProjection(s.screenWidth, s.screenHeight);
    InitDisplay(window, s.screenWidth, s.screenHeight);
    return window;
}
