// The SDL2 backend: Win32 windows and messages over an SDL window and its event queue,
// DirectDraw surfaces over an SDL renderer with one streaming texture.
#include "platform/sdl/sdl.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/startup_trace.h"
#include "platform/surface_rules.h"

namespace {

struct SdlDirectDraw;
struct SdlSurface;

// The HDROP of WM_DROPFILES: one file, valid until DragFinish.
struct SdlDrop : HDROP__ {
    std::string name;
    bool live = false;
};

struct SdlState {
    bool open = false;
    bool windowed = false;
    Uint32 timerEvent = 0;

    HWND__ window{};
    HINSTANCE__ instance{};
    HICON__ icon{};
    HICON__ cursor{};
    HBRUSH__ brush{};

    WNDCLASSEXA registeredClass{};
    char className[64] = {};
    bool classRegistered = false;
    SDL_Window* sdlWindow = nullptr;
    bool windowAlive = false;
    WNDPROC windowProc = nullptr;

    SDL_TimerID timer = 0;
    UINT_PTR timerId = 0;
    std::atomic<bool> timerPending{false};

    int cursorCount = 0;
    bool quitPosted = false;
    int quitCode = 0;

    // Input beyond the keys: the buttons held (MK_* bits), the pointer's last position,
    // characters of one text event still to be handed out, and the one dropped file being
    // handed out (SDL reports each file of a drop as an event of its own).
    WPARAM buttons = 0;
    int pointerX = 0;
    int pointerY = 0;
    char pendingText[32] = {};
    int pendingTextNext = 0;
    bool acceptsFiles = false;
    SdlDrop drop;

    SdlDirectDraw* directDraw = nullptr;
    SdlSurface* primary = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;  // the picture of the primary and its back buffer
    bool textureLost = false;
};

SdlState sdl;

struct SdlDirectDraw final : IDirectDraw {
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                            IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bpp) override;

    DWORD cooperativeFlags = 0;
    int32_t modeWidth = 0;
    int32_t modeHeight = 0;
    bool fullscreen = false;
};

enum class SurfaceRole { Primary, BackBuffer, Work };

struct SdlSurface final : IDirectDrawSurface {
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
    std::vector<uint32_t> pixels;      // work surfaces only: the frame in system memory
    SdlSurface* backBuffer = nullptr;  // the primary's attached back buffer
    bool locked = false;
};

bool IsLiveWindow(HWND window) {
    return window == &sdl.window && sdl.windowAlive;
}

void DestroyPresentation() {
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    if (sdl.renderer) SDL_DestroyRenderer(sdl.renderer);
    sdl.texture = nullptr;
    sdl.renderer = nullptr;
    sdl.textureLost = false;
}

bool CreateTexture(int32_t width, int32_t height) {
    // XRGB8888: 0x00RRGGBB in one 32-bit word, top byte ignored, as the frame is laid out.
    sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_RGB888,
                                    SDL_TEXTUREACCESS_STREAMING, width, height);
    sdl.textureLost = sdl.texture == nullptr;
    return sdl.texture != nullptr;
}

// --- DirectDraw object -------------------------------------------------------------------

ULONG STDMETHODCALLTYPE SdlDirectDraw::Release() {
    // Releasing the object ends exclusive mode: the screen gets its own mode back.
    if (fullscreen && sdl.sdlWindow) SDL_SetWindowFullscreen(sdl.sdlWindow, 0);
    if (sdl.directDraw == this) sdl.directDraw = nullptr;
    delete this;
    return 0;
}

HRESULT STDMETHODCALLTYPE SdlDirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
    if (!IsLiveWindow(window) || !CooperativeFlagsValid(flags)) return DDERR_INVALIDPARAMS;
    cooperativeFlags = flags;
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE SdlDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp) {
    if ((cooperativeFlags & DDSCL_EXCLUSIVE) == 0) return DDERR_NOEXCLUSIVEMODE;
    if (!DisplayModeValid(width, height, bpp)) return DDERR_INVALIDMODE;
    if (!sdl.sdlWindow) return DDERR_GENERIC;
    modeWidth = static_cast<int32_t>(width);
    modeHeight = static_cast<int32_t>(height);
    if (sdl.windowed) {
        SDL_SetWindowSize(sdl.sdlWindow, modeWidth, modeHeight);
        return DD_OK;
    }
    // A real mode change where the display lists the size; otherwise cover the desktop and
    // let the renderer scale (see CreateSurface).
    int display = SDL_GetWindowDisplayIndex(sdl.sdlWindow);
    int modes = display >= 0 ? SDL_GetNumDisplayModes(display) : 0;
    for (int i = 0; i < modes; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
        if (mode.w != modeWidth || mode.h != modeHeight) continue;
        if (SDL_SetWindowDisplayMode(sdl.sdlWindow, &mode) == 0 &&
            SDL_SetWindowFullscreen(sdl.sdlWindow, SDL_WINDOW_FULLSCREEN) == 0) {
            fullscreen = true;
            return DD_OK;
        }
        break;
    }
    // The window is first moved over the whole display by hand: without a window manager
    // (a bare X server) the full-screen request alone leaves it where it was.
    SDL_Rect bounds;
    if (display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
        SDL_SetWindowPosition(sdl.sdlWindow, bounds.x, bounds.y);
        SDL_SetWindowSize(sdl.sdlWindow, bounds.w, bounds.h);
    }
    if (SDL_SetWindowFullscreen(sdl.sdlWindow, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) {
        fullscreen = true;
    }
    // Without full screen at all the frame still shows, in the window.
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE SdlDirectDraw::CreateSurface(LPDDSURFACEDESC desc,
                                                       LPDIRECTDRAWSURFACE* surface,
                                                       IUnknown* outer) {
    if (!surface) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (!SurfaceRequestValid(desc, outer)) return DDERR_INVALIDPARAMS;
    DWORD caps = desc->ddsCaps.dwCaps;
    if ((caps & DDSCAPS_PRIMARYSURFACE) != 0) {
        if (modeWidth == 0) return DDERR_NOEXCLUSIVEMODE;
        if (sdl.primary) return DDERR_INVALIDPARAMS;
        // Only a flipping chain can be shown.
        if ((caps & DDSCAPS_FLIP) == 0 || !FlippingChainRequestValid(*desc)) {
            return DDERR_INVALIDCAPS;
        }
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        // The software renderer copies the frame into the window's own pixels (shared memory
        // under X11): a 640x480 frame needs no GPU, and loading none (OpenGL under X11 means
        // Mesa) takes most of the time to the first frame. SDL_RENDER_DRIVER still chooses.
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
        // ... and the window's pixels are the window system's own, not an OpenGL texture.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        sdl.renderer = SDL_CreateRenderer(sdl.sdlWindow, -1, 0);
        if (!sdl.renderer) return DDERR_GENERIC;
        // The frame keeps its exact aspect; at the mode's own size this is a 1:1 copy.
        if (SDL_RenderSetLogicalSize(sdl.renderer, modeWidth, modeHeight) != 0 ||
            !CreateTexture(modeWidth, modeHeight)) {
            DestroyPresentation();
            return DDERR_GENERIC;
        }
        auto* primary = new SdlSurface;
        primary->role = SurfaceRole::Primary;
        primary->surfaceCaps = caps;
        primary->width = modeWidth;
        primary->height = modeHeight;
        auto* back = new SdlSurface;
        back->role = SurfaceRole::BackBuffer;
        back->surfaceCaps = DDSCAPS_BACKBUFFER | (caps & DDSCAPS_HWCODEC);
        back->width = modeWidth;
        back->height = modeHeight;
        primary->backBuffer = back;
        sdl.primary = primary;
        // Black until the first flip.
        SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
        SDL_RenderClear(sdl.renderer);
        SDL_RenderPresent(sdl.renderer);
        *surface = primary;
        return DD_OK;
    }
    if ((caps & DDSCAPS_OFFSCREENPLAIN) != 0) {
        if (!OffscreenRequestValid(*desc)) return DDERR_INVALIDPARAMS;
        auto* work = new SdlSurface;
        work->role = SurfaceRole::Work;
        work->surfaceCaps = caps;
        work->width = static_cast<int32_t>(desc->dwWidth);
        work->height = static_cast<int32_t>(desc->dwHeight);
        work->pixels.assign(static_cast<size_t>(work->width) * work->height, 0);
        *surface = work;
        return DD_OK;
    }
    return DDERR_INVALIDCAPS;
}

// --- Surfaces ----------------------------------------------------------------------------

ULONG STDMETHODCALLTYPE SdlSurface::Release() {
    // The back buffer lives as long as its chain (GetAttachedSurface added no reference).
    if (role == SurfaceRole::BackBuffer) return 1;
    if (role == SurfaceRole::Primary) {
        delete backBuffer;
        DestroyPresentation();
        if (sdl.primary == this) sdl.primary = nullptr;
    }
    delete this;
    return 0;
}

HRESULT STDMETHODCALLTYPE SdlSurface::GetAttachedSurface(LPDDSCAPS caps,
                                                         LPDIRECTDRAWSURFACE* attached) {
    if (!caps || !attached) return DDERR_INVALIDPARAMS;
    *attached = nullptr;
    if (!backBuffer || (caps->dwCaps & DDSCAPS_BACKBUFFER) == 0) return DDERR_NOTFOUND;
    *attached = backBuffer;
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE SdlSurface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD /*flags*/,
                                           HANDLE /*event*/) {
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC) || rect) return DDERR_INVALIDPARAMS;
    if (role != SurfaceRole::Work) return DDERR_UNSUPPORTED;
    if (locked) return DDERR_SURFACEBUSY;
    locked = true;
    DescribeLockedSurface(*desc, width, height, 32, pixels.data(), surfaceCaps);
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE SdlSurface::Unlock(LPVOID /*data*/) {
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE SdlSurface::BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source,
                                              LPRECT sourceRect, DWORD /*flags*/) {
    auto* from = static_cast<SdlSurface*>(source);
    if (!from || from->role != SurfaceRole::Work || role != SurfaceRole::BackBuffer) {
        return DDERR_UNSUPPORTED;
    }
    if (from->locked) return DDERR_SURFACEBUSY;
    if (sdl.textureLost) return DDERR_SURFACELOST;
    RECT r = sourceRect ? *sourceRect : RECT{0, 0, from->width, from->height};
    if (!BltRectValid(r, from->width, from->height, x, y, width, height)) {
        return DDERR_INVALIDRECT;
    }
    SDL_Rect target = {static_cast<int>(x), static_cast<int>(y), r.right - r.left,
                       r.bottom - r.top};
    const uint32_t* first =
        &from->pixels[static_cast<size_t>(r.top) * from->width + static_cast<size_t>(r.left)];
    if (SDL_UpdateTexture(sdl.texture, &target, first, from->width * 4) != 0) {
        return DDERR_GENERIC;
    }
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE SdlSurface::Flip(LPDIRECTDRAWSURFACE target, DWORD /*flags*/) {
    if (role != SurfaceRole::Primary) return DDERR_NOTFLIPPABLE;
    if (target && target != backBuffer) return DDERR_INVALIDPARAMS;
    if (sdl.textureLost) return DDERR_SURFACELOST;
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, nullptr);
    SDL_RenderPresent(sdl.renderer);
    TraceFirstFrame();
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE SdlSurface::Restore() {
    if (role != SurfaceRole::Primary || !sdl.textureLost) return DD_OK;
    // The renderer's device was reset: the texture is made anew.
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    sdl.texture = nullptr;
    return CreateTexture(width, height) ? DD_OK : DDERR_SURFACELOST;
}

// --- Win32 -------------------------------------------------------------------------------

HMODULE SdlGetModuleHandle(LPCSTR moduleName) {
    return moduleName ? nullptr : &sdl.instance;
}

HICON SdlLoadIcon(HINSTANCE, LPCSTR) {
    return &sdl.icon;
}

HCURSOR SdlLoadCursor(HINSTANCE, LPCSTR) {
    return &sdl.cursor;
}

HGDIOBJ SdlGetStockObject(int object) {
    return object == WHITE_BRUSH ? &sdl.brush : nullptr;
}

ATOM SdlRegisterClassEx(const WNDCLASSEXA* windowClass) {
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpszClassName ||
        !windowClass->lpfnWndProc || sdl.classRegistered) {
        return 0;
    }
    sdl.registeredClass = *windowClass;
    std::snprintf(sdl.className, sizeof sdl.className, "%s", windowClass->lpszClassName);
    sdl.registeredClass.lpszClassName = sdl.className;
    sdl.registeredClass.lpszMenuName = nullptr;
    sdl.classRegistered = true;
    return 1;
}

HWND SdlCreateWindowEx(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                       int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    if (!sdl.open || !sdl.classRegistered || !className ||
        std::strcmp(className, sdl.className) != 0 || sdl.sdlWindow) {
        return nullptr;
    }
    Uint32 flags = SDL_WINDOW_HIDDEN;
    // A pop-up window has no frame; with --windowed it gets the usual one and a close button.
    if ((style & WS_POPUP) != 0 && !sdl.windowed) flags |= SDL_WINDOW_BORDERLESS;
    int left = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : x;
    int top = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : y;
    const char* title = windowName ? windowName : "";
    // A plain window: the frame is drawn by SDL's software renderer (see CreateSurface), so
    // no OpenGL library is loaded to choose the window's visual.
    sdl.sdlWindow = SDL_CreateWindow(title, left, top, width, height, flags);
    if (!sdl.sdlWindow) return nullptr;
    sdl.windowAlive = true;
    sdl.windowProc = sdl.registeredClass.lpfnWndProc;
    return &sdl.window;
}

BOOL SdlShowWindow(HWND window, int showCommand) {
    if (!IsLiveWindow(window)) return FALSE;
    bool wasVisible = (SDL_GetWindowFlags(sdl.sdlWindow) & SDL_WINDOW_SHOWN) != 0;
    if (showCommand == SW_HIDE) {
        SDL_HideWindow(sdl.sdlWindow);
    } else {
        SDL_ShowWindow(sdl.sdlWindow);
        SDL_RaiseWindow(sdl.sdlWindow);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL SdlUpdateWindow(HWND window) {
    return IsLiveWindow(window) ? TRUE : FALSE;
}

BOOL SdlDestroyWindow(HWND window) {
    if (!IsLiveWindow(window)) return FALSE;
    sdl.windowAlive = false;
    if (sdl.timer) SDL_RemoveTimer(sdl.timer);
    sdl.timer = 0;
    // The SDL window stays (hidden) until CloseSdlBackend: the display's surfaces, released
    // after the message loop, still use its renderer.
    SDL_HideWindow(sdl.sdlWindow);
    sdl.windowProc(window, WM_DESTROY, 0, 0);
    return TRUE;
}

int SdlShowCursor(BOOL show) {
    sdl.cursorCount += show ? 1 : -1;
    SDL_ShowCursor(sdl.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return sdl.cursorCount;
}

// Runs on SDL's timer thread. Like the Win32 queue, at most one timer message is pending:
// a slow tick is followed by one more tick, not by a backlog.
Uint32 PostTimerEvent(Uint32 interval, void*) {
    if (!sdl.timerPending.exchange(true)) {
        SDL_Event event;
        SDL_zero(event);
        event.type = sdl.timerEvent;
        if (SDL_PushEvent(&event) != 1) sdl.timerPending.store(false);
    }
    return interval;
}

UINT_PTR SdlSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
    if (!IsLiveWindow(window)) return 0;
    // One timer per window is all the shell uses; a second call replaces the first.
    if (sdl.timer) SDL_RemoveTimer(sdl.timer);
    sdl.timerId = id;
    sdl.timer = SDL_AddTimer(elapse > 0 ? elapse : 1, PostTimerEvent, nullptr);
    return sdl.timer ? 1 : 0;
}

WPARAM VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<WPARAM>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WPARAM>('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<WPARAM>(VK_F1 + (key - SDLK_F1));
    switch (key) {
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_PAGEUP:
            return VK_PRIOR;
        case SDLK_PAGEDOWN:
            return VK_NEXT;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        case SDLK_INSERT:
            return VK_INSERT;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        default:
            return 0;
    }
}

void FillMessage(LPMSG message, HWND window, UINT code, WPARAM wParam, LPARAM lParam) {
    *message = MSG{window, code, wParam, lParam, SDL_GetTicks(), {0, 0}};
}

// The MK_* bit of an SDL mouse button, or 0 for buttons the shell does not know.
WPARAM ButtonBit(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return MK_LBUTTON;
        case SDL_BUTTON_RIGHT:
            return MK_RBUTTON;
        case SDL_BUTTON_MIDDLE:
            return MK_MBUTTON;
        default:
            return 0;
    }
}

// The wParam of a mouse message: the buttons held and Shift and Ctrl.
WPARAM MouseKeys() {
    SDL_Keymod modifiers = SDL_GetModState();
    WPARAM keys = sdl.buttons;
    if ((modifiers & KMOD_SHIFT) != 0) keys |= MK_SHIFT;
    if ((modifiers & KMOD_CTRL) != 0) keys |= MK_CONTROL;
    return keys;
}

// The next printable ASCII character of the last text event, as WM_CHAR; false when none
// is left. Other characters are dropped: the shell's character keys are all ASCII.
bool NextPendingChar(LPMSG message) {
    while (sdl.pendingTextNext < static_cast<int>(sizeof sdl.pendingText)) {
        auto c = static_cast<unsigned char>(sdl.pendingText[sdl.pendingTextNext]);
        if (c == 0) break;
        sdl.pendingTextNext++;
        if (c < 0x20 || c > 0x7E) continue;
        FillMessage(message, &sdl.window, WM_CHAR, c, 1);
        return true;
    }
    sdl.pendingText[0] = '\0';
    sdl.pendingTextNext = 0;
    return false;
}

// Mouse, wheel, text and drop events as their Win32 messages; false for events that
// make none.
bool TranslateInputEvent(SDL_Event& event, LPMSG message) {
    if (!sdl.windowAlive) {
        if (event.type == SDL_DROPFILE) SDL_free(event.drop.file);
        return false;
    }
    switch (event.type) {
        case SDL_MOUSEMOTION:
            sdl.pointerX = event.motion.x;
            sdl.pointerY = event.motion.y;
            FillMessage(message, &sdl.window, WM_MOUSEMOVE, MouseKeys(),
                        MAKELPARAM(event.motion.x, event.motion.y));
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            WPARAM bit = ButtonBit(event.button.button);
            if (bit == 0) return false;
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            // Like Win32, wParam holds the buttons as they are after the change.
            sdl.buttons = down ? (sdl.buttons | bit) : (sdl.buttons & ~bit);
            UINT code = bit == MK_LBUTTON   ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                        : bit == MK_RBUTTON ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                                            : (down ? WM_MBUTTONDOWN : WM_MBUTTONUP);
            sdl.pointerX = event.button.x;
            sdl.pointerY = event.button.y;
            FillMessage(message, &sdl.window, code, MouseKeys(),
                        MAKELPARAM(event.button.x, event.button.y));
            return true;
        }
        case SDL_MOUSEWHEEL: {
            int notches = event.wheel.y;
            if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
            if (notches == 0) return false;
            if (notches > 100) notches = 100;
            if (notches < -100) notches = -100;
            FillMessage(message, &sdl.window, WM_MOUSEWHEEL,
                        MAKEWPARAM(MouseKeys(), notches * WHEEL_DELTA),
                        MAKELPARAM(sdl.pointerX, sdl.pointerY));
            return true;
        }
        case SDL_TEXTINPUT:
            std::memcpy(sdl.pendingText, event.text.text, sizeof sdl.pendingText);
            sdl.pendingText[sizeof sdl.pendingText - 1] = '\0';
            sdl.pendingTextNext = 0;
            return NextPendingChar(message);
        case SDL_DROPFILE: {
            bool deliver = sdl.acceptsFiles && event.drop.file != nullptr;
            if (deliver) {
                sdl.drop.name = event.drop.file;
                sdl.drop.live = true;
            }
            SDL_free(event.drop.file);
            if (!deliver) return false;
            FillMessage(message, &sdl.window, WM_DROPFILES,
                        reinterpret_cast<WPARAM>(static_cast<HDROP>(&sdl.drop)), 0);
            return true;
        }
        default:
            return false;
    }
}

BOOL SdlGetMessage(LPMSG message, HWND, UINT, UINT) {
    for (;;) {
        if (sdl.windowAlive && NextPendingChar(message)) return TRUE;
        if (sdl.quitPosted) {
            sdl.quitPosted = false;
            FillMessage(message, nullptr, WM_QUIT, static_cast<WPARAM>(sdl.quitCode), 0);
            return FALSE;
        }
        SDL_Event event;
        if (SDL_WaitEvent(&event) == 0) {
            // The event queue itself failed: nothing can arrive any more, so end the loop.
            FillMessage(message, nullptr, WM_QUIT, 0, 0);
            return FALSE;
        }
        if (event.type == sdl.timerEvent) {
            sdl.timerPending.store(false);
            if (!sdl.windowAlive || !sdl.timer) continue;
            FillMessage(message, &sdl.window, WM_TIMER, sdl.timerId, 0);
            return TRUE;
        }
        switch (event.type) {
            case SDL_QUIT:
                // Ctrl+C, a termination signal or the window's close button.
                if (!sdl.windowAlive) {
                    FillMessage(message, nullptr, WM_QUIT, 0, 0);
                    return FALSE;
                }
                FillMessage(message, &sdl.window, WM_CLOSE, 0, 0);
                return TRUE;
            case SDL_KEYDOWN: {
                WPARAM key = VirtualKey(event.key.keysym.sym);
                if (key == 0 || !sdl.windowAlive) continue;
                // Repeat count 1; bit 30 set when the key was already down.
                LPARAM flags = 1 | (event.key.repeat ? LPARAM{1} << 30 : 0);
                FillMessage(message, &sdl.window, WM_KEYDOWN, key, flags);
                return TRUE;
            }
            case SDL_RENDER_DEVICE_RESET:
                sdl.textureLost = true;
                continue;
            default:
                if (TranslateInputEvent(event, message)) return TRUE;
                continue;
        }
    }
}

BOOL SdlTranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT SdlDispatchMessage(const MSG* message) {
    if (!message || !IsLiveWindow(message->hwnd)) return 0;
    return sdl.windowProc(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT SdlDefWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) SdlDestroyWindow(window);
    return 0;
}

LRESULT SdlSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLiveWindow(window)) return 0;
    return sdl.windowProc(window, message, wParam, lParam);
}

void SdlPostQuitMessage(int exitCode) {
    sdl.quitPosted = true;
    sdl.quitCode = exitCode;
}

BOOL SdlSetWindowText(HWND window, LPCSTR text) {
    if (!IsLiveWindow(window)) return FALSE;
    SDL_SetWindowTitle(sdl.sdlWindow, text ? text : "");
    return TRUE;
}

void SdlDragAcceptFiles(HWND window, BOOL accept) {
    if (IsLiveWindow(window)) sdl.acceptsFiles = accept != FALSE;
}

UINT SdlDragQueryFile(HDROP drop, UINT index, LPSTR name, UINT size) {
    if (drop != &sdl.drop || !sdl.drop.live) return 0;
    if (index == 0xFFFFFFFFu) return 1;
    if (index != 0) return 0;
    if (!name) return static_cast<UINT>(sdl.drop.name.size());
    if (size == 0) return 0;
    size_t copied = sdl.drop.name.size() < size - 1 ? sdl.drop.name.size() : size - 1;
    std::memcpy(name, sdl.drop.name.data(), copied);
    name[copied] = '\0';
    return static_cast<UINT>(copied);
}

void SdlDragFinish(HDROP drop) {
    if (drop == &sdl.drop) sdl.drop.live = false;
}

HRESULT SdlDirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (guid || outer) return DDERR_INVALIDPARAMS;
    if (!sdl.open) return DDERR_NODIRECTDRAWHW;
    if (sdl.directDraw) return DDERR_GENERIC;  // one exclusive owner of the screen
    sdl.directDraw = new SdlDirectDraw;
    *directDraw = sdl.directDraw;
    return DD_OK;
}

// A quit (the window's close button, Ctrl+C) or an Escape press among the events SDL has
// gathered, left in its queue for SdlGetMessage.
BOOL SdlPeekQuit() {
    if (!sdl.open) return FALSE;
    SDL_PumpEvents();
    SDL_Event events[32];
    if (SDL_PeepEvents(events, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) return TRUE;
    const int keys = SDL_PeepEvents(events, 32, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN);
    for (int i = 0; i < keys; ++i) {
        if (events[i].key.keysym.sym == SDLK_ESCAPE) return TRUE;
    }
    return FALSE;
}

const PlatformBackend sdlBackend = {
    "sdl",
    SdlGetModuleHandle,
    SdlLoadIcon,
    SdlLoadCursor,
    SdlGetStockObject,
    SdlRegisterClassEx,
    SdlCreateWindowEx,
    SdlShowWindow,
    SdlUpdateWindow,
    SdlDestroyWindow,
    SdlShowCursor,
    SdlSetTimer,
    SdlGetMessage,
    SdlTranslateMessage,
    SdlDispatchMessage,
    SdlDefWindowProc,
    SdlSendMessage,
    SdlPostQuitMessage,
    SdlDirectDrawCreate,
    SdlSetWindowText,
    SdlDragAcceptFiles,
    SdlDragQueryFile,
    SdlDragFinish,
    SdlPeekQuit,
};

// Holds back what libraries print on stderr while SDL looks for a display: libwayland, for
// one, prints "error: XDG_RUNTIME_DIR is invalid or not set in the environment." before SDL
// moves on to the next video driver. From construction to destruction stderr goes to a
// temporary file; what it caught is passed on to stderr when `passOn` is set (a display
// opened), and dropped otherwise: the program's own line then says that there is no display.
struct StderrHold {
    int saved = -1;
    std::FILE* held = nullptr;
    bool passOn = false;

    StderrHold() {
        std::fflush(stderr);
        held = std::tmpfile();
        if (held != nullptr) saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (saved < 0 || dup2(fileno(held), STDERR_FILENO) < 0) Release();
    }
    ~StderrHold() {
        if (held == nullptr) return;
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        if (passOn) {
            std::rewind(held);
            char buffer[4096];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, held)) > 0)
                std::fwrite(buffer, 1, got, stderr);
            std::fflush(stderr);
        }
        Release();
    }
    void Release() {
        if (saved >= 0) close(saved);
        if (held != nullptr) std::fclose(held);
        saved = -1;
        held = nullptr;
    }
    StderrHold(const StderrHold&) = delete;
    StderrHold& operator=(const StderrHold&) = delete;
};

}  // namespace

bool OpenSdlBackend(bool windowed, std::string& error) {
    if (sdl.open) return true;
    StderrHold hold;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        error = SDL_GetError();
        return false;
    }
    // SDL falls back to drivers that show nothing; unless asked for by name they mean
    // that there is no display.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    bool invisible =
        driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && !(requested && std::strcmp(requested, driver) == 0)) {
        const char* x11 = SDL_getenv("DISPLAY");
        error = (x11 && x11[0]) ? "no X11, Wayland or console display could be opened"
                                : "no X11, Wayland or console display could be opened "
                                  "(DISPLAY is not set)";
        SDL_Quit();
        return false;
    }
    sdl.timerEvent = SDL_RegisterEvents(1);
    if (sdl.timerEvent == static_cast<Uint32>(-1)) {
        error = "no SDL event type left for the timer";
        SDL_Quit();
        return false;
    }
    sdl.open = true;
    sdl.windowed = windowed;
    hold.passOn = true;
    return true;
}

const PlatformBackend& SdlBackend() {
    return sdlBackend;
}

void CloseSdlBackend() {
    if (!sdl.open) return;
    if (sdl.timer) SDL_RemoveTimer(sdl.timer);
    sdl.timer = 0;
    DestroyPresentation();
    if (sdl.sdlWindow) SDL_DestroyWindow(sdl.sdlWindow);
    sdl.sdlWindow = nullptr;
    sdl.windowAlive = false;
    sdl.open = false;
    SDL_Quit();
}
