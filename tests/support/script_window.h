// A window for tests that run scripted messages through the headless backend without the
// viewer: a 640x480 popup whose procedure ends the message loop when the window is
// destroyed and leaves everything else to DefWindowProcA, with a timer running so that
// scripted ticks are delivered.
#pragma once

#include "platform/win32.h"

inline LRESULT CALLBACK QuitOnDestroyWindowProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Registers `className` and creates the window on the active backend.
inline HWND CreateScriptWindow(const char* className) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = QuitOnDestroyWindowProc;
    windowClass.lpszClassName = className;
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                  nullptr, nullptr);
    SetTimer(window, 0, 20, nullptr);
    return window;
}

// Delivers every message of the script until the window is gone.
inline void RunScriptedMessages() {
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        DispatchMessageA(&message);
    }
}
