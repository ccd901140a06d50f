// The run-time choice of platform backend behind win32.h and ddraw.h.
//
// Each backend (sdl/, headless/) fills one PlatformBackend with its implementation of the
// fixed list below; platform.cpp implements the declared Win32 and DirectDraw functions by
// calling through the active one. The DirectDraw objects themselves are the backend's own
// implementations of IDirectDraw and IDirectDrawSurface.
#pragma once

#include "platform/ddraw.h"
#include "platform/win32.h"

struct PlatformBackend {
    const char* name;
    HMODULE (*getModuleHandle)(LPCSTR moduleName);
    HICON (*loadIcon)(HINSTANCE instance, LPCSTR iconName);
    HCURSOR (*loadCursor)(HINSTANCE instance, LPCSTR cursorName);
    HGDIOBJ (*getStockObject)(int object);
    ATOM (*registerClassEx)(const WNDCLASSEXA* windowClass);
    HWND(*createWindowEx)
    (DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
    BOOL (*showWindow)(HWND window, int showCommand);
    BOOL (*updateWindow)(HWND window);
    BOOL (*destroyWindow)(HWND window);
    int (*showCursor)(BOOL show);
    UINT_PTR (*setTimer)(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
    BOOL (*getMessage)(LPMSG message, HWND window, UINT filterMin, UINT filterMax);
    BOOL (*translateMessage)(const MSG* message);
    LRESULT (*dispatchMessage)(const MSG* message);
    LRESULT (*defWindowProc)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT (*sendMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void (*postQuitMessage)(int exitCode);
    HRESULT (*directDrawCreate)(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer);
    // The window title and files dropped on the window.
    BOOL (*setWindowText)(HWND window, LPCSTR text);
    void (*dragAcceptFiles)(HWND window, BOOL accept);
    UINT (*dragQueryFile)(HDROP drop, UINT index, LPSTR name, UINT size);
    void (*dragFinish)(HDROP drop);
    // Whether a quit, a close or the Escape key waits in the native queue, left there
    // (quit_pending.h); null when the backend cannot tell.
    BOOL (*peekQuit)() = nullptr;
};

// Makes `backend` (which must outlive its use) the target of every platform call.
// Null restores the initial state, in which every call fails without effect.
void SetPlatformBackend(const PlatformBackend* backend);

// The backend set last, or null.
const PlatformBackend* ActivePlatformBackend();
