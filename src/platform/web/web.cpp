// The browser backend: Win32 windows and messages over the page's events, DirectDraw
// surfaces over one 2D canvas.
#include "platform/web/web.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/surface_rules.h"

namespace {

struct WebDirectDraw;
struct WebSurface;

// The HDROP of WM_DROPFILES: the files of one drop, valid until DragFinish.
struct WebDrop : HDROP__ {
    std::vector<std::string> names;
    bool live = false;
};

constexpr int kQueueSize = 256;
// Ticks owed at most: after a hidden tab (no animation frames) the scene takes up its turn
// where it stopped instead of racing through the backlog, as Win32 keeps one timer message.
constexpr int kMostTimersDue = 3;
constexpr int kDropSlots = 4;

struct WebState {
    HWND__ window{};
    HINSTANCE__ instance{};
    HICON__ icon{};
    HICON__ cursor{};
    HBRUSH__ brush{};

    char className[64] = {};
    bool classRegistered = false;
    WNDPROC windowProc = nullptr;
    bool windowCreated = false;
    bool windowAlive = false;

    // Messages in arrival order; timer messages are made when the queue is empty.
    MSG queue[kQueueSize] = {};
    int queueFirst = 0;
    int queueCount = 0;
    bool quitPosted = false;
    int quitCode = 0;

    bool timerActive = false;
    UINT_PTR timerId = 0;
    double timerPeriod = 20.0;  // milliseconds
    double lastFrameTime = 0.0;
    double elapsed = 0.0;
    int timersDue = 0;
    int ticksHandedOut = 0;

    WPARAM buttons = 0;  // MK_ bits of the buttons held over the canvas
    int pointerX = 0;
    int pointerY = 0;
    double wheelRest = 0.0;  // a wheel turn too small for one unit, kept for the next

    bool acceptsFiles = false;
    WebDrop gathering;  // the files of the drop the page is handing over
    WebDrop drops[kDropSlots];

    WebDirectDraw* directDraw = nullptr;
    WebSurface* primary = nullptr;

    void (*loopStarted)() = nullptr;
};

WebState web;

// --- The page's side ---------------------------------------------------------------------
// (JavaScript, kept out of clang-format's reach.)
// clang-format off

// Waits for the next call of WakeMessageLoop (an event, an animation frame or a drop).
EM_ASYNC_JS(void, WaitForMessage, (), {
    await new Promise(function(resolve) { Module.trellisWake = resolve; });
});

EM_JS(void, WakeMessageLoop, (), {
    var wake = Module.trellisWake;
    if (wake) {
        Module.trellisWake = null;
        wake();
    }
});

EM_JS(void, SetCanvasSize, (int width, int height), {
    var canvas = document.getElementById('canvas');
    if (!canvas) return;
    canvas.width = width;
    canvas.height = height;
    Module.trellisImage = null;
});

// Puts width x height RGBA bytes at `rgba` on the canvas. The image wraps the module's
// memory (no copy) and is made anew only when that memory has grown.
EM_JS(void, PutFrame, (const void* rgba, int width, int height), {
    var canvas = document.getElementById('canvas');
    if (!canvas) return;
    var image = Module.trellisImage;
    if (!image || image.data.buffer !== HEAPU8.buffer || Module.trellisImageAt !== rgba) {
        image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4),
                              width, height);
        Module.trellisImage = image;
        Module.trellisImageAt = rgba;
        Module.trellisContext = canvas.getContext('2d');
    }
    Module.trellisContext.putImageData(image, 0, 0);
});

// The title goes to the page's file line; the page learns of it through an event.
EM_JS(void, ShowTitle, (const char* text), {
    var title = UTF8ToString(text);
    var canvas = document.getElementById('canvas');
    if (canvas) canvas.dispatchEvent(new CustomEvent('trellis-title', {detail: title}));
});

// Files dropped anywhere on the page, or picked with <input id="file-input">, are written
// under their own names into the working directory (where the bundled scene is) and handed
// to WebAddDroppedFile and WebPostDrop, so that the viewer names them as the user knows them.
// A file that cannot be read or stored is reported on stderr, as a file the desktop cannot
// open.
EM_JS(void, InstallFileHandlers, (), {
    if (Module.trellisFilesInstalled) return;
    Module.trellisFilesInstalled = true;
    function safeName(name) {
        name = String(name).split('/').join('_').split(String.fromCharCode(0)).join('_');
        return (name.length === 0 || name === '.' || name === '..') ? 'unnamed' : name;
    }
    function give(fileList) {
        var files = Array.prototype.slice.call(fileList || []);
        if (files.length === 0) return;
        Promise.all(files.map(function(file) {
            return file.arrayBuffer().then(function(bytes) { return {file: file, bytes: bytes}; },
                                           function(e) { return {file: file, error: e}; });
        })).then(function(read) {
            var given = 0;
            read.forEach(function(r) {
                var path = safeName(r.file.name);
                if (r.error) {
                    err('trellis: ' + r.file.name + ': cannot be read');
                    return;
                }
                try {
                    FS.writeFile(path, new Uint8Array(r.bytes));
                } catch (e) {
                    err('trellis: ' + r.file.name + ': cannot be kept in memory');
                    return;
                }
                Module.ccall('WebAddDroppedFile', null, ['string'], [path]);
                given++;
            });
            if (given > 0) Module.ccall('WebPostDrop', null, [], []);
        });
    }
    document.addEventListener('dragover', function(e) { e.preventDefault(); });
    document.addEventListener('drop', function(e) {
        e.preventDefault();
        if (e.dataTransfer) give(e.dataTransfer.files);
    });
    var input = document.getElementById('file-input');
    if (input) {
        input.addEventListener('change', function() {
            give(input.files);
            // The same file picked again is a new change; Space must not press the button.
            input.value = null;
            input.blur();
        });
    }
    var canvas = document.getElementById('canvas');
    if (canvas) canvas.addEventListener('contextmenu', function(e) { e.preventDefault(); });
});

// clang-format on

// --- Messages ----------------------------------------------------------------------------

bool IsLiveWindow(HWND window) {
    return window == &web.window && web.windowAlive;
}

// Queues a message for the window; false when it is gone or the queue is full.
bool Post(UINT code, WPARAM wParam, LPARAM lParam) {
    if (!web.windowAlive || web.queueCount == kQueueSize) return false;
    const int at = (web.queueFirst + web.queueCount) % kQueueSize;
    web.queue[at] = MSG{&web.window,
                        code,
                        wParam,
                        lParam,
                        static_cast<DWORD>(emscripten_performance_now()),
                        {web.pointerX, web.pointerY}};
    web.queueCount++;
    WakeMessageLoop();
    return true;
}

EM_BOOL AnimationFrame(double time, void*) {
    if (!web.timerActive) return EM_FALSE;
    web.elapsed += time - web.lastFrameTime;
    web.lastFrameTime = time;
    if (web.elapsed < 0.0) web.elapsed = 0.0;
    while (web.elapsed >= web.timerPeriod) {
        web.elapsed -= web.timerPeriod;
        if (web.timersDue < kMostTimersDue) web.timersDue++;
    }
    if (web.timersDue > 0) WakeMessageLoop();
    return EM_TRUE;
}

// The Win32 virtual key of a browser key code (the same numbers for letters, digits, the
// function keys, arrows and the page keys), or 0 for keys the viewer leaves to the browser.
// Escape is one of those: a page has no window of its own to close.
WPARAM VirtualKey(unsigned long keyCode) {
    if ((keyCode >= 'A' && keyCode <= 'Z') || (keyCode >= '0' && keyCode <= '9')) return keyCode;
    if (keyCode >= static_cast<unsigned long>(VK_F1) &&
        keyCode <= static_cast<unsigned long>(VK_F12)) {
        return keyCode;
    }
    switch (keyCode) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_SPACE:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_END:
        case VK_HOME:
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_INSERT:
        case VK_DELETE:
            return keyCode;
        default:
            return 0;
    }
}

// The browser keeps what it does with the other function keys (reload, full screen) and Tab.
bool KeyTakenFromBrowser(WPARAM key) {
    if (key >= static_cast<WPARAM>(VK_F1) && key <= static_cast<WPARAM>(VK_F12)) {
        return key == static_cast<WPARAM>(VK_F1) || key == static_cast<WPARAM>(VK_F12);
    }
    return key != static_cast<WPARAM>(VK_TAB);
}

EM_BOOL KeyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    // Shortcuts with Ctrl, Alt or Meta stay the browser's.
    if (!web.windowAlive || event->ctrlKey || event->altKey || event->metaKey) return EM_FALSE;
    const WPARAM key = VirtualKey(event->keyCode);
    // A key that types one printable ASCII character also gives WM_CHAR, as TranslateMessage.
    const auto* text = reinterpret_cast<const unsigned char*>(event->key);
    const bool character = text[0] >= 0x20 && text[0] <= 0x7E && text[1] == 0;
    if (key == 0 && !character) return EM_FALSE;
    if (key != 0) {
        // Repeat count 1; bit 30 set when the key was already down.
        Post(WM_KEYDOWN, key, 1 | (event->repeat ? LPARAM{1} << 30 : 0));
    }
    if (character) Post(WM_CHAR, text[0], 1);
    return key == 0 || KeyTakenFromBrowser(key) ? EM_TRUE : EM_FALSE;
}

// The canvas may be shown scaled: a position on it (CSS pixels) is made frame pixels.
void PointerAt(double x, double y) {
    double cssWidth = 0.0;
    double cssHeight = 0.0;
    int frameWidth = 0;
    int frameHeight = 0;
    if (emscripten_get_element_css_size("#canvas", &cssWidth, &cssHeight) ==
            EMSCRIPTEN_RESULT_SUCCESS &&
        emscripten_get_canvas_element_size("#canvas", &frameWidth, &frameHeight) ==
            EMSCRIPTEN_RESULT_SUCCESS &&
        cssWidth > 0.0 && cssHeight > 0.0) {
        x = x * frameWidth / cssWidth;
        y = y * frameHeight / cssHeight;
    }
    // Within the signed 16 bits of a message's lParam.
    web.pointerX = static_cast<int>(std::floor(std::fmin(std::fmax(x, -32768.0), 32767.0)));
    web.pointerY = static_cast<int>(std::floor(std::fmin(std::fmax(y, -32768.0), 32767.0)));
}

void PointerPosition(const EmscriptenMouseEvent* event) {
    PointerAt(static_cast<double>(event->targetX), static_cast<double>(event->targetY));
}

WPARAM ButtonBit(unsigned short button) {
    switch (button) {
        case 0:
            return MK_LBUTTON;
        case 1:
            return MK_MBUTTON;
        case 2:
            return MK_RBUTTON;
        default:
            return 0;
    }
}

// The buttons the browser says are held (its bits: 1 left, 2 right, 4 middle).
WPARAM HeldButtons(unsigned short buttons) {
    WPARAM held = 0;
    if ((buttons & 1) != 0) held |= MK_LBUTTON;
    if ((buttons & 2) != 0) held |= MK_RBUTTON;
    if ((buttons & 4) != 0) held |= MK_MBUTTON;
    return held;
}

WPARAM MouseKeys(const EmscriptenMouseEvent* event) {
    WPARAM keys = web.buttons;
    if (event->shiftKey) keys |= MK_SHIFT;
    if (event->ctrlKey) keys |= MK_CONTROL;
    return keys;
}

EM_BOOL MouseButton(int eventType, const EmscriptenMouseEvent* event, void*) {
    const WPARAM bit = ButtonBit(event->button);
    if (bit == 0 || !web.windowAlive) return EM_FALSE;
    const bool down = eventType == EMSCRIPTEN_EVENT_MOUSEDOWN;
    // A button let go outside the canvas sends nothing here: its down is not repeated.
    if (down == ((web.buttons & bit) != 0)) {
        if (down) return EM_TRUE;
        return EM_FALSE;
    }
    // Like Win32, wParam holds the buttons as they are after the change.
    web.buttons = down ? (web.buttons | bit) : (web.buttons & ~bit);
    PointerPosition(event);
    const UINT code = bit == MK_LBUTTON   ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                      : bit == MK_RBUTTON ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                                          : (down ? WM_MBUTTONDOWN : WM_MBUTTONUP);
    Post(code, MouseKeys(event), MAKELPARAM(web.pointerX, web.pointerY));
    return EM_TRUE;
}

EM_BOOL MouseMove(int, const EmscriptenMouseEvent* event, void*) {
    if (!web.windowAlive) return EM_FALSE;
    // Buttons let go outside the canvas: the move says they are up, as on Win32.
    web.buttons &= HeldButtons(event->buttons);
    PointerPosition(event);
    Post(WM_MOUSEMOVE, MouseKeys(event), MAKELPARAM(web.pointerX, web.pointerY));
    return EM_FALSE;
}

EM_BOOL Wheel(int, const EmscriptenWheelEvent* event, void*) {
    if (!web.windowAlive) return EM_FALSE;
    // One notch (WHEEL_DELTA) is taken as 100 pixels, 3 lines or a page; down the page is
    // toward the user.
    double units = -event->deltaY * WHEEL_DELTA;
    switch (event->deltaMode) {
        case DOM_DELTA_PIXEL:
            units /= 100.0;
            break;
        case DOM_DELTA_LINE:
            units /= 3.0;
            break;
        default:
            break;
    }
    if (!std::isfinite(units)) return EM_TRUE;
    units += web.wheelRest;
    const double limit = 100.0 * WHEEL_DELTA;
    if (units > limit) units = limit;
    if (units < -limit) units = -limit;
    const double whole = std::trunc(units);
    web.wheelRest = units - whole;
    if (whole == 0.0) return EM_TRUE;
    PointerPosition(&event->mouse);
    Post(WM_MOUSEWHEEL, MAKEWPARAM(MouseKeys(&event->mouse), static_cast<int>(whole)),
         MAKELPARAM(web.pointerX, web.pointerY));
    return EM_TRUE;
}

// Touch: one finger drags as the left button (turn); two drag as the right button (pan) from
// the point between them, and pinching turns the wheel, one notch for each tenth by which
// the fingers' distance grows (toward the scene) or shrinks.
struct TouchState {
    int fingers = 0;      // on the canvas at the last event
    double spread = 0.0;  // the two fingers' distance at the last wheel message
};
TouchState touch;

EM_BOOL Touch(int eventType, const EmscriptenTouchEvent* event, void*) {
    if (!web.windowAlive) return EM_FALSE;
    const bool ending =
        eventType == EMSCRIPTEN_EVENT_TOUCHEND || eventType == EMSCRIPTEN_EVENT_TOUCHCANCEL;
    double x[2] = {0.0, 0.0};
    double y[2] = {0.0, 0.0};
    int fingers = 0;
    for (int i = 0; i < event->numTouches && i < 32; ++i) {
        const EmscriptenTouchPoint& point = event->touches[i];
        if (!point.onTarget || (ending && point.isChanged)) continue;
        if (fingers < 2) {
            x[fingers] = static_cast<double>(point.targetX);
            y[fingers] = static_cast<double>(point.targetY);
        }
        fingers++;
    }
    if (fingers > 2) fingers = 2;
    if (fingers == 2) {
        PointerAt((x[0] + x[1]) / 2.0, (y[0] + y[1]) / 2.0);
    } else if (fingers == 1) {
        PointerAt(x[0], y[0]);
    }
    const LPARAM position = MAKELPARAM(web.pointerX, web.pointerY);
    const double spread = std::hypot(x[1] - x[0], y[1] - y[0]);
    if (fingers != touch.fingers) {
        // A finger more or less: the drag so far ends and the new one starts here.
        if (touch.fingers == 1) {
            web.buttons &= ~MK_LBUTTON;
            Post(WM_LBUTTONUP, web.buttons, position);
        } else if (touch.fingers == 2) {
            web.buttons &= ~MK_RBUTTON;
            Post(WM_RBUTTONUP, web.buttons, position);
        }
        if (fingers == 1) {
            web.buttons |= MK_LBUTTON;
            Post(WM_LBUTTONDOWN, web.buttons, position);
        } else if (fingers == 2) {
            web.buttons |= MK_RBUTTON;
            Post(WM_RBUTTONDOWN, web.buttons, position);
            touch.spread = spread;
        }
        touch.fingers = fingers;
        return EM_TRUE;
    }
    if (fingers == 0) return EM_TRUE;
    Post(WM_MOUSEMOVE, web.buttons, position);
    if (fingers == 2 && touch.spread > 0.0 && spread > 0.0) {
        const double notches = std::log(spread / touch.spread) / std::log(1.0 / 0.9);
        const double units = std::trunc(notches * WHEEL_DELTA);
        if (units != 0.0 && std::fabs(units) <= 100.0 * WHEEL_DELTA) {
            Post(WM_MOUSEWHEEL, MAKEWPARAM(web.buttons, static_cast<int>(units)), position);
            touch.spread *= std::pow(1.0 / 0.9, units / WHEEL_DELTA);
        }
    }
    return EM_TRUE;
}

void InstallEventHandlers() {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, KeyDown);
    emscripten_set_mousedown_callback("#canvas", nullptr, EM_TRUE, MouseButton);
    emscripten_set_mouseup_callback("#canvas", nullptr, EM_TRUE, MouseButton);
    emscripten_set_mousemove_callback("#canvas", nullptr, EM_TRUE, MouseMove);
    emscripten_set_wheel_callback("#canvas", nullptr, EM_TRUE, Wheel);
    emscripten_set_touchstart_callback("#canvas", nullptr, EM_TRUE, Touch);
    emscripten_set_touchmove_callback("#canvas", nullptr, EM_TRUE, Touch);
    emscripten_set_touchend_callback("#canvas", nullptr, EM_TRUE, Touch);
    emscripten_set_touchcancel_callback("#canvas", nullptr, EM_TRUE, Touch);
}

// --- DirectDraw --------------------------------------------------------------------------

struct WebDirectDraw final : IDirectDraw {
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                            IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bpp) override;

    DWORD cooperativeFlags = 0;
    int32_t modeWidth = 0;
    int32_t modeHeight = 0;
};

enum class SurfaceRole { Primary, BackBuffer, Work };

struct WebSurface final : IDirectDrawSurface {
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
    std::vector<uint32_t> pixels;      // work: 0x00RRGGBB; back buffer: the canvas's RGBA bytes
    WebSurface* backBuffer = nullptr;  // the primary's attached back buffer
    bool locked = false;
};

ULONG STDMETHODCALLTYPE WebDirectDraw::Release() {
    if (web.directDraw == this) web.directDraw = nullptr;
    delete this;
    return 0;
}

HRESULT STDMETHODCALLTYPE WebDirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
    if (!IsLiveWindow(window) || !CooperativeFlagsValid(flags)) return DDERR_INVALIDPARAMS;
    cooperativeFlags = flags;
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE WebDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp) {
    if ((cooperativeFlags & DDSCL_EXCLUSIVE) == 0) return DDERR_NOEXCLUSIVEMODE;
    if (!DisplayModeValid(width, height, bpp)) return DDERR_INVALIDMODE;
    // The page's canvas is the screen: the mode is its size.
    modeWidth = static_cast<int32_t>(width);
    modeHeight = static_cast<int32_t>(height);
    SetCanvasSize(modeWidth, modeHeight);
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE WebDirectDraw::CreateSurface(LPDDSURFACEDESC desc,
                                                       LPDIRECTDRAWSURFACE* surface,
                                                       IUnknown* outer) {
    if (!surface) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (!SurfaceRequestValid(desc, outer)) return DDERR_INVALIDPARAMS;
    const DWORD caps = desc->ddsCaps.dwCaps;
    if ((caps & DDSCAPS_PRIMARYSURFACE) != 0) {
        if (modeWidth == 0) return DDERR_NOEXCLUSIVEMODE;
        if (web.primary) return DDERR_INVALIDPARAMS;
        if ((caps & DDSCAPS_FLIP) == 0 || !FlippingChainRequestValid(*desc)) {
            return DDERR_INVALIDCAPS;
        }
        auto* primary = new WebSurface;
        primary->role = SurfaceRole::Primary;
        primary->surfaceCaps = caps;
        primary->width = modeWidth;
        primary->height = modeHeight;
        auto* back = new WebSurface;
        back->role = SurfaceRole::BackBuffer;
        back->surfaceCaps = DDSCAPS_BACKBUFFER | (caps & DDSCAPS_HWCODEC);
        back->width = modeWidth;
        back->height = modeHeight;
        // Opaque black until the first flip: alpha in the top byte of each little-endian word.
        back->pixels.assign(static_cast<size_t>(modeWidth) * static_cast<size_t>(modeHeight),
                            0xFF000000u);
        primary->backBuffer = back;
        web.primary = primary;
        PutFrame(back->pixels.data(), modeWidth, modeHeight);
        *surface = primary;
        return DD_OK;
    }
    if ((caps & DDSCAPS_OFFSCREENPLAIN) != 0) {
        if (!OffscreenRequestValid(*desc)) return DDERR_INVALIDPARAMS;
        auto* work = new WebSurface;
        work->role = SurfaceRole::Work;
        work->surfaceCaps = caps;
        work->width = static_cast<int32_t>(desc->dwWidth);
        work->height = static_cast<int32_t>(desc->dwHeight);
        work->pixels.assign(static_cast<size_t>(work->width) * static_cast<size_t>(work->height),
                            0);
        *surface = work;
        return DD_OK;
    }
    return DDERR_INVALIDCAPS;
}

ULONG STDMETHODCALLTYPE WebSurface::Release() {
    // The back buffer lives as long as its chain (GetAttachedSurface added no reference).
    if (role == SurfaceRole::BackBuffer) return 1;
    if (role == SurfaceRole::Primary) {
        delete backBuffer;
        if (web.primary == this) web.primary = nullptr;
    }
    delete this;
    return 0;
}

HRESULT STDMETHODCALLTYPE WebSurface::GetAttachedSurface(LPDDSCAPS caps,
                                                         LPDIRECTDRAWSURFACE* attached) {
    if (!caps || !attached) return DDERR_INVALIDPARAMS;
    *attached = nullptr;
    if (!backBuffer || (caps->dwCaps & DDSCAPS_BACKBUFFER) == 0) return DDERR_NOTFOUND;
    *attached = backBuffer;
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE WebSurface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD, HANDLE) {
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC) || rect) return DDERR_INVALIDPARAMS;
    if (role != SurfaceRole::Work) return DDERR_UNSUPPORTED;
    if (locked) return DDERR_SURFACEBUSY;
    locked = true;
    DescribeLockedSurface(*desc, width, height, 32, pixels.data(), surfaceCaps);
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE WebSurface::Unlock(LPVOID) {
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    return DD_OK;
}

// Copies a frame rectangle into the back buffer, 0x00RRGGBB made the canvas's bytes R, G,
// B, A (opaque).
HRESULT STDMETHODCALLTYPE WebSurface::BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source,
                                              LPRECT sourceRect, DWORD) {
    auto* from = static_cast<WebSurface*>(source);
    if (!from || from->role != SurfaceRole::Work || role != SurfaceRole::BackBuffer) {
        return DDERR_UNSUPPORTED;
    }
    if (from->locked) return DDERR_SURFACEBUSY;
    const RECT r = sourceRect ? *sourceRect : RECT{0, 0, from->width, from->height};
    if (!BltRectValid(r, from->width, from->height, x, y, width, height)) {
        return DDERR_INVALIDRECT;
    }
    for (LONG row = r.top; row < r.bottom; ++row) {
        const uint32_t* in = &from->pixels[static_cast<size_t>(row) * from->width];
        uint32_t* out = &pixels[(static_cast<size_t>(row - r.top) + y) * width + x];
        for (LONG column = r.left; column < r.right; ++column) {
            const uint32_t p = in[column];
            *out++ = 0xFF000000u | (p & 0x0000FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
        }
    }
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE WebSurface::Flip(LPDIRECTDRAWSURFACE target, DWORD) {
    if (role != SurfaceRole::Primary) return DDERR_NOTFLIPPABLE;
    if (target && target != backBuffer) return DDERR_INVALIDPARAMS;
    PutFrame(backBuffer->pixels.data(), width, height);
    return DD_OK;
}

HRESULT STDMETHODCALLTYPE WebSurface::Restore() {
    return DD_OK;
}

// --- Win32 -------------------------------------------------------------------------------

HMODULE WebGetModuleHandle(LPCSTR moduleName) {
    return moduleName ? nullptr : &web.instance;
}

HICON WebLoadIcon(HINSTANCE, LPCSTR) {
    return &web.icon;
}

HCURSOR WebLoadCursor(HINSTANCE, LPCSTR) {
    return &web.cursor;
}

HGDIOBJ WebGetStockObject(int object) {
    return object == WHITE_BRUSH ? &web.brush : nullptr;
}

ATOM WebRegisterClassEx(const WNDCLASSEXA* windowClass) {
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpszClassName ||
        !windowClass->lpfnWndProc || web.classRegistered) {
        return 0;
    }
    std::snprintf(web.className, sizeof web.className, "%s", windowClass->lpszClassName);
    web.windowProc = windowClass->lpfnWndProc;
    web.classRegistered = true;
    return 1;
}

HWND WebCreateWindowEx(DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int, HWND, HMENU,
                       HINSTANCE, LPVOID) {
    if (!web.classRegistered || !className || std::strcmp(className, web.className) != 0 ||
        web.windowCreated) {
        return nullptr;
    }
    web.windowCreated = true;
    web.windowAlive = true;
    InstallEventHandlers();
    return &web.window;
}

BOOL WebShowWindow(HWND window, int) {
    return IsLiveWindow(window) ? TRUE : FALSE;
}

BOOL WebUpdateWindow(HWND window) {
    return IsLiveWindow(window) ? TRUE : FALSE;
}

BOOL WebDestroyWindow(HWND window) {
    if (!IsLiveWindow(window)) return FALSE;
    web.windowAlive = false;
    web.timerActive = false;
    web.windowProc(window, WM_DESTROY, 0, 0);
    return TRUE;
}

int WebShowCursor(BOOL) {
    // The pointer stays: the page around the canvas needs it.
    return 0;
}

UINT_PTR WebSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
    if (!IsLiveWindow(window)) return 0;
    web.timerId = id;
    web.timerPeriod = elapse > 0 ? elapse : 1;
    web.elapsed = 0.0;
    web.timersDue = 0;
    web.lastFrameTime = emscripten_performance_now();
    if (!web.timerActive) {
        web.timerActive = true;
        emscripten_request_animation_frame_loop(AnimationFrame, nullptr);
    }
    return 1;
}

BOOL WebGetMessage(LPMSG message, HWND, UINT, UINT) {
    if (web.loopStarted) {
        void (*started)() = web.loopStarted;
        web.loopStarted = nullptr;
        started();
    }
    for (;;) {
        if (web.queueCount > 0) {
            *message = web.queue[web.queueFirst];
            web.queueFirst = (web.queueFirst + 1) % kQueueSize;
            web.queueCount--;
            return TRUE;
        }
        if (web.quitPosted) {
            web.quitPosted = false;
            *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(web.quitCode), 0, 0, {0, 0}};
            return FALSE;
        }
        // As on Win32, a timer message comes only when nothing else waits.
        if (web.timersDue > 0 && web.timerActive && web.windowAlive) {
            web.timersDue--;
            web.ticksHandedOut++;
            *message = MSG{&web.window,
                           WM_TIMER,
                           web.timerId,
                           0,
                           static_cast<DWORD>(emscripten_performance_now()),
                           {web.pointerX, web.pointerY}};
            return TRUE;
        }
        WaitForMessage();
    }
}

BOOL WebTranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WebDispatchMessage(const MSG* message) {
    if (!message || !IsLiveWindow(message->hwnd)) return 0;
    return web.windowProc(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT WebDefWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) WebDestroyWindow(window);
    return 0;
}

LRESULT WebSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLiveWindow(window)) return 0;
    return web.windowProc(window, message, wParam, lParam);
}

void WebPostQuitMessage(int exitCode) {
    web.quitPosted = true;
    web.quitCode = exitCode;
}

BOOL WebSetWindowText(HWND window, LPCSTR text) {
    if (!IsLiveWindow(window)) return FALSE;
    ShowTitle(text ? text : "");
    return TRUE;
}

void WebDragAcceptFiles(HWND window, BOOL accept) {
    if (!IsLiveWindow(window)) return;
    web.acceptsFiles = accept != FALSE;
    if (web.acceptsFiles) InstallFileHandlers();
}

WebDrop* LiveDrop(HDROP drop) {
    for (WebDrop& slot : web.drops) {
        if (drop == &slot && slot.live) return &slot;
    }
    return nullptr;
}

UINT WebDragQueryFile(HDROP drop, UINT index, LPSTR name, UINT size) {
    const WebDrop* d = LiveDrop(drop);
    if (!d) return 0;
    if (index == 0xFFFFFFFFu) return static_cast<UINT>(d->names.size());
    if (index >= d->names.size()) return 0;
    const std::string& path = d->names[index];
    if (!name) return static_cast<UINT>(path.size());
    if (size == 0) return 0;
    const size_t copied = path.size() < size - 1 ? path.size() : size - 1;
    std::memcpy(name, path.data(), copied);
    name[copied] = '\0';
    return static_cast<UINT>(copied);
}

void WebDragFinish(HDROP drop) {
    if (WebDrop* d = LiveDrop(drop)) {
        d->live = false;
        d->names.clear();
    }
}

HRESULT WebDirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (guid || outer) return DDERR_INVALIDPARAMS;
    if (web.directDraw) return DDERR_GENERIC;  // one owner of the canvas
    web.directDraw = new WebDirectDraw;
    *directDraw = web.directDraw;
    return DD_OK;
}

const PlatformBackend webBackend = {
    "web",
    WebGetModuleHandle,
    WebLoadIcon,
    WebLoadCursor,
    WebGetStockObject,
    WebRegisterClassEx,
    WebCreateWindowEx,
    WebShowWindow,
    WebUpdateWindow,
    WebDestroyWindow,
    WebShowCursor,
    WebSetTimer,
    WebGetMessage,
    WebTranslateMessage,
    WebDispatchMessage,
    WebDefWindowProc,
    WebSendMessage,
    WebPostQuitMessage,
    WebDirectDrawCreate,
    WebSetWindowText,
    WebDragAcceptFiles,
    WebDragQueryFile,
    WebDragFinish,
};

}  // namespace

const PlatformBackend& WebBackend() {
    return webBackend;
}

void WebOnMessageLoop(void (*started)()) {
    web.loopStarted = started;
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebAddDroppedFile(const char* path) {
    if (path && path[0] != '\0') web.gathering.names.emplace_back(path);
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebPostDrop() {
    std::vector<std::string> names;
    names.swap(web.gathering.names);
    if (names.empty() || !web.acceptsFiles || !web.windowAlive) return;
    for (WebDrop& slot : web.drops) {
        if (slot.live) continue;
        slot.names = std::move(names);
        slot.live = Post(WM_DROPFILES, reinterpret_cast<WPARAM>(static_cast<HDROP>(&slot)), 0);
        if (!slot.live) slot.names.clear();
        return;
    }
    // Every slot still waits for the shell: this drop is let go, as a full queue drops input.
}

extern "C" EMSCRIPTEN_KEEPALIVE int WebTickCount() {
    return web.ticksHandedOut;
}
