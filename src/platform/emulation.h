// The Win32 window and DirectDraw objects of win32.h and ddraw.h, written once over the
// native calls of the active backend (backend.h).
//
// One window of one registered class, its handles, a message queue (the quit message once
// posted, then the messages the backend posted, then a timer tick when one is owed: as in
// Win32, a timer message comes only when nothing else waits), dropped files, and a DirectDraw
// object whose surfaces are plain memory: a flipping primary with its back buffer, and work
// surfaces the display draws into. A flip hands the back buffer to the backend's present. The
// primary is the display mode's size, or without a mode set the window's drawable area, which
// the backend reports as it changes (Resized: kept for GetClientRect, and WM_SIZE queued). All
// the state is one record, `emulation`, which tests and the headless backend read directly.
//
// The shell's calls reach the emulation through a PlatformCalls table (platform.cpp for the
// Win32 functions, the objects' methods for DirectDraw), so that a backend can put its own
// table in front: the headless backend's logs each call and can choose its result.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/memory/frame_memory.h"

enum class SurfaceRole : uint8_t { Primary, BackBuffer, Work };

struct EmulatedSurface final : IDirectDrawSurface {
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source,
                                      LPRECT sourceRect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE target, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS caps,
                                                 LPDIRECTDRAWSURFACE* attached) override;
    HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags,
                                   HANDLE event) override;
    HRESULT STDMETHODCALLTYPE Restore() override;
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID data) override;

    SurfaceRole role = SurfaceRole::Work;
    DWORD surfaceCaps = 0;
    int32_t width = 0;
    int32_t height = 0;
    // 0x00RRGGBB, rows exactly width apart; the primary's is the frame shown last.
    std::vector<uint32_t, FrameAllocator<uint32_t>> pixels;
    EmulatedSurface* backBuffer = nullptr;  // the primary's attached back buffer
    bool locked = false;
    int32_t workNumber = 0;  // work surfaces: 1, 2, ... in the order made since the reset
};

struct EmulatedDirectDraw final : IDirectDraw {
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                            IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bpp) override;

    DWORD cooperativeFlags = 0;
    int32_t modeWidth = 0;  // 0 until a display mode is set
    int32_t modeHeight = 0;
};

// The HDROP of WM_DROPFILES: the files of one drop, valid until DragFinish.
struct EmulatedDrop : HDROP__ {
    std::vector<std::string> names;
    bool live = false;
};

inline constexpr int32_t kMessageQueueSize = 256;
inline constexpr int32_t kMostLiveDrops = 64;

struct EmulationState {
    // The handles the emulation hands out are the addresses of these.
    HWND__ window{};
    HINSTANCE__ instance{};
    HICON__ icon{};
    HICON__ cursor{};
    HBRUSH__ brush{};

    WNDCLASSEXA windowClass{};  // the one registered class (its name in className)
    char className[64] = {};
    bool classRegistered = false;
    bool windowCreated = false;
    bool windowAlive = false;
    WNDPROC windowProc = nullptr;
    std::string title;  // the text of the last SetWindowTextA
    // The window's drawable area: as made, then as the backend reports it (resized). A
    // primary surface made without a display mode has this size.
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    bool acceptsFiles = false;
    int32_t cursorCount = 0;  // ShowCursor's display counter: the pointer shows from 0 up

    bool timerSet = false;
    UINT_PTR timerId = 0;
    int32_t ticksOwed = 0;
    int32_t timerMessages = 0;  // WM_TIMER messages handed out since the reset

    MSG queue[kMessageQueueSize] = {};  // in arrival order from queueFirst
    int32_t queueFirst = 0;
    int32_t queueCount = 0;
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<std::unique_ptr<EmulatedDrop>> drops;  // finished ones are reused

    EmulatedDirectDraw* directDraw = nullptr;
    EmulatedSurface* primary = nullptr;
    std::vector<EmulatedSurface*> surfaces;      // live surfaces, back buffers included
    std::vector<EmulatedSurface*> workSurfaces;  // in the order made, null once released
    bool screenLost = false;
};

extern EmulationState emulation;

// Frees every window resource, surface, DirectDraw object, queued message and drop without
// calling the backend (whose own state its owner resets), and starts afresh.
void ResetEmulation();

bool IsLiveWindow(HWND window);

// A drop of copies of `names` that is not queued (the headless script queues its own):
// null when kMostLiveDrops drops are still unfinished.
EmulatedDrop* NewDrop(const char* const* names, int32_t count);

// The emulation's side of PlatformEvents, for backends built into the program ...
bool PostWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
void TimerElapsed(int32_t mostOwed);
bool PostDrop(const char* const* names, int32_t count);
void ScreenLost();
void Resized(int32_t width, int32_t height);
// ... and the same as a table, for the backend loaded as a module.
const PlatformEvents& EmulationEvents();

// Every call the shell makes: the Win32 functions and the DirectDraw objects' methods.
struct PlatformCalls {
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
    BOOL (*setWindowText)(HWND window, LPCSTR text);
    BOOL (*getClientRect)(HWND window, LPRECT rect);
    int (*getSystemMetrics)(int index);
    void (*dragAcceptFiles)(HWND window, BOOL accept);
    UINT (*dragQueryFile)(HDROP drop, UINT index, LPSTR name, UINT size);
    void (*dragFinish)(HDROP drop);

    HRESULT (*directDrawCreate)(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer);
    ULONG (*releaseDirectDraw)(EmulatedDirectDraw& directDraw);
    HRESULT (*setCooperativeLevel)(EmulatedDirectDraw& directDraw, HWND window, DWORD flags);
    HRESULT (*setDisplayMode)(EmulatedDirectDraw& directDraw, DWORD width, DWORD height, DWORD bpp);
    HRESULT(*createSurface)
    (EmulatedDirectDraw& directDraw, LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
     IUnknown* outer);
    ULONG (*releaseSurface)(EmulatedSurface& surface);
    HRESULT(*bltFast)
    (EmulatedSurface& surface, DWORD x, DWORD y, LPDIRECTDRAWSURFACE source, LPRECT sourceRect,
     DWORD flags);
    HRESULT (*flip)(EmulatedSurface& surface, LPDIRECTDRAWSURFACE target, DWORD flags);
    HRESULT(*getAttachedSurface)
    (EmulatedSurface& surface, LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached);
    HRESULT(*lock)
    (EmulatedSurface& surface, LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event);
    HRESULT (*restore)(EmulatedSurface& surface);
    HRESULT (*unlock)(EmulatedSurface& surface, LPVOID data);
};

// The emulation's own calls, which a backend's table may wrap.
const PlatformCalls& EmulatedCalls();

// Puts `calls` (which must outlive their use) in front of the emulation until the next
// SetPlatformBackend; null puts the emulation's own back.
void SetPlatformCalls(const PlatformCalls* calls);
const PlatformCalls& ActivePlatformCalls();
