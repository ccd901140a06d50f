// The emulated Win32 window and DirectDraw objects over the active backend's native calls.
#include "platform/emulation.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/surface_rules.h"

EmulationState emulation;

namespace {

// Under objects that outlive their backend (released after SetPlatformBackend(nullptr)):
// nothing native happens and nothing can be shown.
const PlatformBackend kNoBackend = {
    "none",
    [](const char*, DWORD, int, int, int, int) { return false; },
    [](bool) { return false; },
    [] {},
    [](const char*) {},
    [](bool) {},
    [](bool) {},
    [](UINT) {},
    [] {},
    [] { return false; },
    []() -> DWORD { return 0; },
    [](int32_t* width, int32_t* height) { *width = *height = 0; },
    [](int32_t, int32_t) { return DDERR_GENERIC; },
    [] {},
    [](int32_t, int32_t) { return DDERR_GENERIC; },
    [] {},
    [](const uint32_t*, int32_t, int32_t) { return DDERR_GENERIC; },
    [] { return DDERR_SURFACELOST; },
    [] { return false; },
};

const PlatformBackend& Native() {
    const PlatformBackend* native = ActivePlatformBackend();
    return native ? *native : kNoBackend;
}

DWORD MessageTime() {
    return Native().messageTime();
}

void DestroySurface(EmulatedSurface* surface) {
    std::erase(emulation.surfaces, surface);
    for (EmulatedSurface*& work : emulation.workSurfaces) {
        if (work == surface) work = nullptr;
    }
    delete surface;
}

// A surface of width x height in plain memory, black; null when the memory is not there.
EmulatedSurface* NewSurface(SurfaceRole role, DWORD caps, int32_t width, int32_t height) {
    auto* surface = new EmulatedSurface;
    surface->role = role;
    surface->surfaceCaps = caps;
    surface->width = width;
    surface->height = height;
    try {
        surface->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        delete surface;
        return nullptr;
    }
    emulation.surfaces.push_back(surface);
    return surface;
}

EmulatedDrop* LiveDrop(HDROP drop) {
    for (const auto& record : emulation.drops) {
        if (record.get() == drop) return record->live ? record.get() : nullptr;
    }
    return nullptr;
}

// --- Win32 -------------------------------------------------------------------------------

HMODULE GetModuleHandleEmulated(LPCSTR moduleName) {
    return moduleName ? nullptr : &emulation.instance;
}

HICON LoadIconEmulated(HINSTANCE, LPCSTR) {
    return &emulation.icon;
}

HCURSOR LoadCursorEmulated(HINSTANCE, LPCSTR) {
    return &emulation.cursor;
}

HGDIOBJ GetStockObjectEmulated(int object) {
    return object == WHITE_BRUSH ? &emulation.brush : nullptr;
}

ATOM RegisterClassExEmulated(const WNDCLASSEXA* windowClass) {
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpszClassName ||
        !windowClass->lpfnWndProc || emulation.classRegistered) {
        return 0;
    }
    emulation.windowClass = *windowClass;
    std::snprintf(emulation.className, sizeof emulation.className, "%s",
                  windowClass->lpszClassName);
    emulation.windowClass.lpszClassName = emulation.className;
    emulation.windowClass.lpszMenuName = nullptr;
    emulation.classRegistered = true;
    return 1;
}

HWND CreateWindowExEmulated(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    if (!emulation.classRegistered || !className ||
        std::strcmp(className, emulation.className) != 0 || emulation.windowCreated) {
        return nullptr;
    }
    // The backend reports, from within the call, a drawable area of another size.
    emulation.clientWidth = width > 0 ? width : 0;
    emulation.clientHeight = height > 0 ? height : 0;
    if (!Native().createWindow(windowName ? windowName : "", style, x, y, width, height)) {
        return nullptr;
    }
    emulation.windowCreated = true;
    emulation.windowAlive = true;
    emulation.windowProc = emulation.windowClass.lpfnWndProc;
    return &emulation.window;
}

BOOL ShowWindowEmulated(HWND window, int showCommand) {
    if (!IsLiveWindow(window)) return FALSE;
    return Native().showWindow(showCommand != SW_HIDE) ? TRUE : FALSE;
}

BOOL UpdateWindowEmulated(HWND window) {
    return IsLiveWindow(window) ? TRUE : FALSE;
}

BOOL DestroyWindowEmulated(HWND window) {
    if (!IsLiveWindow(window)) return FALSE;
    emulation.windowAlive = false;
    emulation.timerSet = false;
    emulation.ticksOwed = 0;
    Native().stopTimer();
    Native().destroyWindow();
    emulation.windowProc(window, WM_DESTROY, 0, 0);
    return TRUE;
}

int ShowCursorEmulated(BOOL show) {
    emulation.cursorCount += show ? 1 : -1;
    Native().showPointer(emulation.cursorCount >= 0);
    return emulation.cursorCount;
}

UINT_PTR SetTimerEmulated(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
    if (!IsLiveWindow(window)) return 0;
    // One timer per window is all the shell uses; a second call replaces the first.
    emulation.timerSet = true;
    emulation.timerId = id;
    emulation.ticksOwed = 0;
    Native().startTimer(elapse > 0 ? elapse : 1);
    return 1;
}

BOOL GetMessageEmulated(LPMSG message, HWND, UINT, UINT) {
    if (!message) return FALSE;
    for (;;) {
        if (emulation.quitPosted) {
            emulation.quitPosted = false;
            *message = MSG{nullptr, WM_QUIT,       static_cast<WPARAM>(emulation.quitCode),
                           0,       MessageTime(), {0, 0}};
            return FALSE;
        }
        if (emulation.queueCount > 0) {
            *message = emulation.queue[emulation.queueFirst];
            emulation.queueFirst = (emulation.queueFirst + 1) % kMessageQueueSize;
            emulation.queueCount--;
            // Posted to a window that has gone since: the message is handed out for nobody.
            if (!emulation.windowAlive) message->hwnd = nullptr;
            return TRUE;
        }
        // As on Win32, a timer message comes only when nothing else waits.
        if (emulation.ticksOwed > 0 && emulation.timerSet && emulation.windowAlive) {
            emulation.ticksOwed--;
            emulation.timerMessages++;
            *message =
                MSG{&emulation.window, WM_TIMER, emulation.timerId, 0, MessageTime(), {0, 0}};
            return TRUE;
        }
        if (!Native().waitForEvents()) {
            // Nothing can ever arrive again; the quit message ends the loop rather than block.
            *message = MSG{nullptr, WM_QUIT, 0, 0, MessageTime(), {0, 0}};
            return FALSE;
        }
    }
}

BOOL TranslateMessageEmulated(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessageEmulated(const MSG* message) {
    if (!message || !IsLiveWindow(message->hwnd)) return 0;
    return emulation.windowProc(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcEmulated(HWND window, UINT message, WPARAM, LPARAM) {
    // Closing destroys the window, as a call of the shell's own would.
    if (message == WM_CLOSE) ActivePlatformCalls().destroyWindow(window);
    return 0;
}

LRESULT SendMessageEmulated(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLiveWindow(window)) return 0;
    return emulation.windowProc(window, message, wParam, lParam);
}

void PostQuitMessageEmulated(int exitCode) {
    emulation.quitPosted = true;
    emulation.quitCode = exitCode;
}

BOOL SetWindowTextEmulated(HWND window, LPCSTR text) {
    if (!IsLiveWindow(window)) return FALSE;
    emulation.title = text ? text : "";
    Native().setTitle(emulation.title.c_str());
    return TRUE;
}

BOOL GetClientRectEmulated(HWND window, LPRECT rect) {
    if (!IsLiveWindow(window) || !rect) return FALSE;
    *rect = RECT{0, 0, emulation.clientWidth, emulation.clientHeight};
    return TRUE;
}

int GetSystemMetricsEmulated(int index) {
    if (index != SM_CXSCREEN && index != SM_CYSCREEN) return 0;
    int32_t width = 0;
    int32_t height = 0;
    Native().screenSize(&width, &height);
    return index == SM_CXSCREEN ? width : height;
}

void DragAcceptFilesEmulated(HWND window, BOOL accept) {
    if (!IsLiveWindow(window)) return;
    emulation.acceptsFiles = accept != FALSE;
    Native().acceptFiles(emulation.acceptsFiles);
}

UINT DragQueryFileEmulated(HDROP drop, UINT index, LPSTR name, UINT size) {
    const EmulatedDrop* record = LiveDrop(drop);
    if (!record) return 0;
    if (index == 0xFFFFFFFFu) return static_cast<UINT>(record->names.size());
    if (index >= record->names.size()) return 0;
    const std::string& file = record->names[index];
    if (!name) return static_cast<UINT>(file.size());
    if (size == 0) return 0;
    const size_t copied = file.size() < size - 1 ? file.size() : size - 1;
    std::memcpy(name, file.data(), copied);
    name[copied] = '\0';
    return static_cast<UINT>(copied);
}

void DragFinishEmulated(HDROP drop) {
    if (EmulatedDrop* record = LiveDrop(drop)) {
        record->live = false;
        record->names.clear();
    }
}

// --- DirectDraw --------------------------------------------------------------------------

HRESULT DirectDrawCreateEmulated(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    // Only the default display driver exists here, and nothing aggregates it.
    if (guid || outer) return DDERR_INVALIDPARAMS;
    if (emulation.directDraw) return DDERR_GENERIC;  // one exclusive owner of the screen
    emulation.directDraw = new EmulatedDirectDraw;
    *directDraw = emulation.directDraw;
    return DD_OK;
}

ULONG ReleaseDirectDrawEmulated(EmulatedDirectDraw& directDraw) {
    // Releasing the object ends exclusive mode: the screen gets its own mode back. Surfaces
    // outlive it; each is released on its own.
    if (directDraw.modeWidth != 0) Native().leaveDisplayMode();
    if (emulation.directDraw == &directDraw) emulation.directDraw = nullptr;
    delete &directDraw;
    return 0;
}

HRESULT SetCooperativeLevelEmulated(EmulatedDirectDraw& directDraw, HWND window, DWORD flags) {
    if (!IsLiveWindow(window) || !CooperativeFlagsValid(flags)) return DDERR_INVALIDPARAMS;
    directDraw.cooperativeFlags = flags;
    return DD_OK;
}

HRESULT SetDisplayModeEmulated(EmulatedDirectDraw& directDraw, DWORD width, DWORD height,
                               DWORD bpp) {
    if ((directDraw.cooperativeFlags & DDSCL_EXCLUSIVE) == 0) return DDERR_NOEXCLUSIVEMODE;
    if (!DisplayModeValid(width, height, bpp)) return DDERR_INVALIDMODE;
    const HRESULT result =
        Native().setDisplayMode(static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (result != DD_OK) return result;
    directDraw.modeWidth = static_cast<int32_t>(width);
    directDraw.modeHeight = static_cast<int32_t>(height);
    return DD_OK;
}

HRESULT CreateSurfaceEmulated(EmulatedDirectDraw& directDraw, LPDDSURFACEDESC desc,
                              LPDIRECTDRAWSURFACE* surface, IUnknown* outer) {
    if (!surface) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (!SurfaceRequestValid(desc, outer)) return DDERR_INVALIDPARAMS;
    const DWORD caps = desc->ddsCaps.dwCaps;
    if ((caps & DDSCAPS_PRIMARYSURFACE) != 0) {
        // The mode set; without one, the screen at its own mode, which is the window's
        // drawable area (the desktop's full-screen window covers it).
        const bool modeSet = directDraw.modeWidth != 0;
        const int32_t width = modeSet ? directDraw.modeWidth : emulation.clientWidth;
        const int32_t height = modeSet ? directDraw.modeHeight : emulation.clientHeight;
        if ((directDraw.cooperativeFlags & DDSCL_EXCLUSIVE) == 0) return DDERR_NOEXCLUSIVEMODE;
        if (width <= 0 || height <= 0) return DDERR_GENERIC;
        if (emulation.primary) return DDERR_INVALIDPARAMS;
        // Only a flipping chain can be shown.
        if ((caps & DDSCAPS_FLIP) == 0 || !FlippingChainRequestValid(*desc)) {
            return DDERR_INVALIDCAPS;
        }
        EmulatedSurface* primary = NewSurface(SurfaceRole::Primary, caps, width, height);
        if (!primary) return DDERR_OUTOFMEMORY;
        EmulatedSurface* back = NewSurface(
            SurfaceRole::BackBuffer, DDSCAPS_BACKBUFFER | (caps & DDSCAPS_HWCODEC), width, height);
        if (!back) {
            DestroySurface(primary);
            return DDERR_OUTOFMEMORY;
        }
        primary->backBuffer = back;
        if (Native().openScreen(width, height) != DD_OK) {
            DestroySurface(back);
            DestroySurface(primary);
            return DDERR_GENERIC;
        }
        emulation.primary = primary;
        emulation.screenLost = false;
        *surface = primary;
        return DD_OK;
    }
    if ((caps & DDSCAPS_OFFSCREENPLAIN) != 0) {
        if (!OffscreenRequestValid(*desc)) return DDERR_INVALIDPARAMS;
        EmulatedSurface* work =
            NewSurface(SurfaceRole::Work, caps, static_cast<int32_t>(desc->dwWidth),
                       static_cast<int32_t>(desc->dwHeight));
        if (!work) return DDERR_OUTOFMEMORY;
        emulation.workSurfaces.push_back(work);
        work->workNumber = static_cast<int32_t>(emulation.workSurfaces.size());
        *surface = work;
        return DD_OK;
    }
    return DDERR_INVALIDCAPS;
}

ULONG ReleaseSurfaceEmulated(EmulatedSurface& surface) {
    // The back buffer lives as long as its chain (GetAttachedSurface added no reference).
    if (surface.role == SurfaceRole::BackBuffer) return 1;
    if (surface.role == SurfaceRole::Primary) {
        // Releasing the head of the flipping chain releases the whole chain.
        if (surface.backBuffer) DestroySurface(surface.backBuffer);
        if (emulation.primary == &surface) {
            emulation.primary = nullptr;
            Native().closeScreen();
        }
    }
    DestroySurface(&surface);
    return 0;
}

HRESULT GetAttachedSurfaceEmulated(EmulatedSurface& surface, LPDDSCAPS caps,
                                   LPDIRECTDRAWSURFACE* attached) {
    if (!caps || !attached) return DDERR_INVALIDPARAMS;
    *attached = nullptr;
    if (!surface.backBuffer || (caps->dwCaps & DDSCAPS_BACKBUFFER) == 0) return DDERR_NOTFOUND;
    // The chain keeps the back buffer alive; no reference is added for the caller.
    *attached = surface.backBuffer;
    return DD_OK;
}

HRESULT LockEmulated(EmulatedSurface& surface, LPRECT rect, LPDDSURFACEDESC desc, DWORD, HANDLE) {
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC) || rect) return DDERR_INVALIDPARAMS;
    if (surface.locked) return DDERR_SURFACEBUSY;
    // The screen's surfaces are drawn through work surfaces only.
    if (surface.role != SurfaceRole::Work) return DDERR_UNSUPPORTED;
    surface.locked = true;
    DescribeLockedSurface(*desc, surface.width, surface.height, 32, surface.pixels.data(),
                          surface.surfaceCaps);
    return DD_OK;
}

HRESULT UnlockEmulated(EmulatedSurface& surface, LPVOID) {
    const HRESULT result = surface.locked ? DD_OK : DDERR_NOTLOCKED;
    surface.locked = false;
    return result;
}

HRESULT BltFastEmulated(EmulatedSurface& surface, DWORD x, DWORD y, LPDIRECTDRAWSURFACE source,
                        LPRECT sourceRect, DWORD) {
    auto* from = static_cast<EmulatedSurface*>(source);
    if (!from) return DDERR_INVALIDPARAMS;
    if (from->locked || surface.locked) return DDERR_SURFACEBUSY;
    if (emulation.screenLost && surface.role != SurfaceRole::Work) return DDERR_SURFACELOST;
    const RECT r = sourceRect ? *sourceRect : RECT{0, 0, from->width, from->height};
    if (!BltRectValid(r, from->width, from->height, x, y, surface.width, surface.height)) {
        return DDERR_INVALIDRECT;
    }
    const auto rowBytes = static_cast<size_t>(r.right - r.left) * sizeof(uint32_t);
    for (LONG row = r.top; row < r.bottom; ++row) {
        const uint32_t* in =
            &from->pixels[static_cast<size_t>(row) * static_cast<size_t>(from->width) +
                          static_cast<size_t>(r.left)];
        uint32_t* out =
            &surface.pixels[(static_cast<size_t>(y) + static_cast<size_t>(row - r.top)) *
                                static_cast<size_t>(surface.width) +
                            x];
        std::memmove(out, in, rowBytes);
    }
    return DD_OK;
}

HRESULT FlipEmulated(EmulatedSurface& surface, LPDIRECTDRAWSURFACE target, DWORD) {
    if (surface.role != SurfaceRole::Primary || !surface.backBuffer) return DDERR_NOTFLIPPABLE;
    if (target && target != surface.backBuffer) return DDERR_INVALIDPARAMS;
    if (emulation.screenLost) return DDERR_SURFACELOST;
    EmulatedSurface& back = *surface.backBuffer;
    const HRESULT result = Native().present(back.pixels.data(), back.width, back.height);
    if (result != DD_OK) return result;
    // The back buffer becomes the frame shown; the old front becomes the next back buffer.
    surface.pixels.swap(back.pixels);
    return DD_OK;
}

HRESULT RestoreEmulated(EmulatedSurface& surface) {
    if (surface.role != SurfaceRole::Primary || !emulation.screenLost) return DD_OK;
    const HRESULT result = Native().restoreScreen();
    if (result == DD_OK) emulation.screenLost = false;
    return result;
}

const PlatformCalls emulatedCalls = {
    GetModuleHandleEmulated,
    LoadIconEmulated,
    LoadCursorEmulated,
    GetStockObjectEmulated,
    RegisterClassExEmulated,
    CreateWindowExEmulated,
    ShowWindowEmulated,
    UpdateWindowEmulated,
    DestroyWindowEmulated,
    ShowCursorEmulated,
    SetTimerEmulated,
    GetMessageEmulated,
    TranslateMessageEmulated,
    DispatchMessageEmulated,
    DefWindowProcEmulated,
    SendMessageEmulated,
    PostQuitMessageEmulated,
    SetWindowTextEmulated,
    GetClientRectEmulated,
    GetSystemMetricsEmulated,
    DragAcceptFilesEmulated,
    DragQueryFileEmulated,
    DragFinishEmulated,
    DirectDrawCreateEmulated,
    ReleaseDirectDrawEmulated,
    SetCooperativeLevelEmulated,
    SetDisplayModeEmulated,
    CreateSurfaceEmulated,
    ReleaseSurfaceEmulated,
    BltFastEmulated,
    FlipEmulated,
    GetAttachedSurfaceEmulated,
    LockEmulated,
    RestoreEmulated,
    UnlockEmulated,
};

const PlatformCalls* activeCalls = &emulatedCalls;

const PlatformEvents emulationEvents = {PostWindowMessage, TimerElapsed, PostDrop, ScreenLost,
                                        Resized};

}  // namespace

// The objects' methods, through the calls in front of the emulation.

ULONG STDMETHODCALLTYPE EmulatedDirectDraw::Release() {
    return activeCalls->releaseDirectDraw(*this);
}

HRESULT STDMETHODCALLTYPE EmulatedDirectDraw::CreateSurface(LPDDSURFACEDESC desc,
                                                            LPDIRECTDRAWSURFACE* surface,
                                                            IUnknown* outer) {
    return activeCalls->createSurface(*this, desc, surface, outer);
}

HRESULT STDMETHODCALLTYPE EmulatedDirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
    return activeCalls->setCooperativeLevel(*this, window, flags);
}

HRESULT STDMETHODCALLTYPE EmulatedDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp) {
    return activeCalls->setDisplayMode(*this, width, height, bpp);
}

ULONG STDMETHODCALLTYPE EmulatedSurface::Release() {
    return activeCalls->releaseSurface(*this);
}

HRESULT STDMETHODCALLTYPE EmulatedSurface::BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source,
                                                   LPRECT sourceRect, DWORD flags) {
    return activeCalls->bltFast(*this, x, y, source, sourceRect, flags);
}

HRESULT STDMETHODCALLTYPE EmulatedSurface::Flip(LPDIRECTDRAWSURFACE target, DWORD flags) {
    return activeCalls->flip(*this, target, flags);
}

HRESULT STDMETHODCALLTYPE EmulatedSurface::GetAttachedSurface(LPDDSCAPS caps,
                                                              LPDIRECTDRAWSURFACE* attached) {
    return activeCalls->getAttachedSurface(*this, caps, attached);
}

HRESULT STDMETHODCALLTYPE EmulatedSurface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags,
                                                HANDLE event) {
    return activeCalls->lock(*this, rect, desc, flags, event);
}

HRESULT STDMETHODCALLTYPE EmulatedSurface::Restore() {
    return activeCalls->restore(*this);
}

HRESULT STDMETHODCALLTYPE EmulatedSurface::Unlock(LPVOID data) {
    return activeCalls->unlock(*this, data);
}

void ResetEmulation() {
    for (EmulatedSurface* surface : emulation.surfaces)
        delete surface;
    emulation.surfaces.clear();
    delete emulation.directDraw;
    emulation.directDraw = nullptr;
    emulation = EmulationState{};
}

bool IsLiveWindow(HWND window) {
    return window == &emulation.window && emulation.windowAlive;
}

EmulatedDrop* NewDrop(const char* const* names, int32_t count) {
    EmulatedDrop* drop = nullptr;
    int32_t live = 0;
    for (const auto& record : emulation.drops) {
        if (record->live) {
            live++;
        } else if (!drop) {
            drop = record.get();
        }
    }
    if (live >= kMostLiveDrops) return nullptr;
    if (!drop) drop = emulation.drops.emplace_back(std::make_unique<EmulatedDrop>()).get();
    drop->names.assign(names, names + (count > 0 ? count : 0));
    drop->live = true;
    return drop;
}

bool PostWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!emulation.windowAlive || emulation.queueCount == kMessageQueueSize) return false;
    const int32_t at = (emulation.queueFirst + emulation.queueCount) % kMessageQueueSize;
    emulation.queue[at] = MSG{&emulation.window, message, wParam, lParam, MessageTime(), {0, 0}};
    emulation.queueCount++;
    return true;
}

void TimerElapsed(int32_t mostOwed) {
    if (!emulation.timerSet || !emulation.windowAlive) return;
    if (emulation.ticksOwed < mostOwed) emulation.ticksOwed++;
}

bool PostDrop(const char* const* names, int32_t count) {
    if (!emulation.acceptsFiles || !emulation.windowAlive || count <= 0) return false;
    EmulatedDrop* drop = NewDrop(names, count);
    if (!drop) return false;
    if (!PostWindowMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(static_cast<HDROP>(drop)), 0)) {
        drop->live = false;
        drop->names.clear();
        return false;
    }
    return true;
}

void ScreenLost() {
    emulation.screenLost = true;
}

void Resized(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    width = width < kMostScreenSide ? width : kMostScreenSide;
    height = height < kMostScreenSide ? height : kMostScreenSide;
    emulation.clientWidth = width;
    emulation.clientHeight = height;
    PostWindowMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

const PlatformEvents& EmulationEvents() {
    return emulationEvents;
}

const PlatformCalls& EmulatedCalls() {
    return emulatedCalls;
}

void SetPlatformCalls(const PlatformCalls* calls) {
    activeCalls = calls ? calls : &emulatedCalls;
}

const PlatformCalls& ActivePlatformCalls() {
    return *activeCalls;
}
