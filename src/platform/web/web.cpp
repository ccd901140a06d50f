// The browser backend's native calls: the page's events as window messages, ticks paced by
// its animation frames, frames put on one 2D canvas.
#include "platform/web/web.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/emulation.h"

namespace {

// Ticks owed at most: after a hidden tab (no animation frames) the scene takes up its turn
// where it stopped instead of racing through the backlog.
constexpr int32_t kMostTimersDue = 3;

struct WebState {
    bool timerActive = false;
    double timerPeriod = 20.0;  // milliseconds
    double lastFrameTime = 0.0;
    double elapsed = 0.0;

    WPARAM buttons = 0;  // MK_ bits of the buttons held over the canvas
    int pointerX = 0;
    int pointerY = 0;
    double wheelRest = 0.0;  // a wheel turn too small for one unit, kept for the next

    std::vector<std::string> gathering;  // the files of the drop the page is handing over

    std::vector<uint32_t> canvasPixels;  // the frame as the canvas's bytes R, G, B, A
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
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

// Tells WebCanvasResized whenever the canvas is shown at another size (the page's layout, or
// the user dragging the corner of the box around it): the frame follows the canvas.
EM_JS(void, WatchCanvasSize, (), {
    var canvas = document.getElementById('canvas');
    if (!canvas || typeof ResizeObserver === 'undefined' || Module.trellisSizeWatched) return;
    Module.trellisSizeWatched = true;
    new ResizeObserver(function() {
        var width = Math.round(canvas.clientWidth);
        var height = Math.round(canvas.clientHeight);
        if (width > 0 && height > 0) {
            Module.ccall('WebCanvasResized', null, ['number', 'number'], [width, height]);
        }
    }).observe(canvas);
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

// Queues a message for the window and wakes the message loop; false when the window is
// gone or the queue is full.
bool Post(UINT code, WPARAM wParam, LPARAM lParam) {
    if (!PostWindowMessage(code, wParam, lParam)) return false;
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
        TimerElapsed(kMostTimersDue);
    }
    if (emulation.ticksOwed > 0) WakeMessageLoop();
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
    if (!emulation.windowAlive || event->ctrlKey || event->altKey || event->metaKey)
        return EM_FALSE;
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
    if (bit == 0 || !emulation.windowAlive) return EM_FALSE;
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
    if (!emulation.windowAlive) return EM_FALSE;
    // Buttons let go outside the canvas: the move says they are up, as on Win32.
    web.buttons &= HeldButtons(event->buttons);
    PointerPosition(event);
    Post(WM_MOUSEMOVE, MouseKeys(event), MAKELPARAM(web.pointerX, web.pointerY));
    return EM_FALSE;
}

EM_BOOL Wheel(int, const EmscriptenWheelEvent* event, void*) {
    if (!emulation.windowAlive) return EM_FALSE;
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
    if (!emulation.windowAlive) return EM_FALSE;
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

// --- The native calls --------------------------------------------------------------------

// The canvas's size on the page in CSS pixels, 1 to kMostScreenSide each; false when it is
// not shown.
bool CanvasShownSize(int32_t* width, int32_t* height) {
    double cssWidth = 0.0;
    double cssHeight = 0.0;
    if (emscripten_get_element_css_size("#canvas", &cssWidth, &cssHeight) !=
            EMSCRIPTEN_RESULT_SUCCESS ||
        !(cssWidth >= 0.5) || !(cssHeight >= 0.5)) {
        return false;
    }
    const double most = static_cast<double>(kMostScreenSide);
    *width = static_cast<int32_t>(std::lround(std::fmin(cssWidth, most)));
    *height = static_cast<int32_t>(std::lround(std::fmin(cssHeight, most)));
    return true;
}

// The page has no screen of its own: the canvas stands for it.
void CanvasScreenSize(int32_t* width, int32_t* height) {
    if (!CanvasShownSize(width, height)) {
        *width = 640;
        *height = 480;
    }
}

bool CreateWebWindow(const char*, DWORD, int, int, int width, int height) {
    InstallEventHandlers();
    // The window is the canvas, at the size the page shows it.
    int32_t shownWidth = 0;
    int32_t shownHeight = 0;
    if (CanvasShownSize(&shownWidth, &shownHeight) &&
        (shownWidth != width || shownHeight != height)) {
        Resized(shownWidth, shownHeight);
    }
    WatchCanvasSize();
    return true;
}

void StartWebTimer(UINT period) {
    web.timerPeriod = period;
    web.elapsed = 0.0;
    web.lastFrameTime = emscripten_performance_now();
    if (!web.timerActive) {
        web.timerActive = true;
        emscripten_request_animation_frame_loop(AnimationFrame, nullptr);
    }
}

void StopWebTimer() {
    // The animation frame loop ends at its next frame.
    web.timerActive = false;
}

// Waits (asyncify) until an event, an animation frame with a tick owed or a drop wakes the
// loop.
bool WaitForPageEvents() {
    WaitForMessage();
    return true;
}

DWORD PageMessageTime() {
    return static_cast<DWORD>(emscripten_performance_now());
}

// The page's canvas is the screen: the mode is its size.
HRESULT SetCanvasMode(int32_t width, int32_t height) {
    SetCanvasSize(width, height);
    return DD_OK;
}

HRESULT OpenCanvas(int32_t width, int32_t height) {
    SetCanvasSize(width, height);
    web.canvasWidth = width;
    web.canvasHeight = height;
    // Opaque black until the first flip: alpha in the top byte of each little-endian word.
    web.canvasPixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u);
    PutFrame(web.canvasPixels.data(), width, height);
    return DD_OK;
}

void CloseCanvas() {
    std::vector<uint32_t>().swap(web.canvasPixels);
}

// Puts a frame on the canvas, 0x00RRGGBB made the canvas's bytes R, G, B, A (opaque).
HRESULT PresentOnCanvas(const uint32_t* pixels, int32_t width, int32_t height) {
    if (width != web.canvasWidth || height != web.canvasHeight) return DDERR_GENERIC;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    uint32_t* out = web.canvasPixels.data();
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        out[i] = 0xFF000000u | (p & 0x0000FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
    }
    PutFrame(out, width, height);
    return DD_OK;
}

const PlatformBackend webBackend = {
    "web",
    CreateWebWindow,
    [](bool) { return true; },  // the canvas is always on the page
    [] {},
    [](const char* text) { ShowTitle(text); },
    [](bool) {},  // the pointer stays: the page around the canvas needs it
    [](bool accept) {
        if (accept) InstallFileHandlers();
    },
    StartWebTimer,
    StopWebTimer,
    WaitForPageEvents,
    PageMessageTime,
    CanvasScreenSize,
    SetCanvasMode,
    [] {},
    OpenCanvas,
    CloseCanvas,
    PresentOnCanvas,
    [] { return DD_OK; },
    // The page's events reach the program only when it gives the browser back its thread (in
    // the wait), never during a frame: nothing can be waiting to be seen.
    [] { return false; },
};

}  // namespace

const PlatformBackend& WebBackend() {
    return webBackend;
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebAddDroppedFile(const char* path) {
    if (path && path[0] != '\0') web.gathering.emplace_back(path);
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebPostDrop() {
    std::vector<std::string> names;
    names.swap(web.gathering);
    std::vector<const char*> pointers;
    for (const std::string& name : names)
        pointers.push_back(name.c_str());
    // A drop the window does not take, or one for which no room is left, is let go, as a
    // full queue drops input.
    if (PostDrop(pointers.data(), static_cast<int32_t>(pointers.size()))) WakeMessageLoop();
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebCanvasResized(int width, int height) {
    Resized(width, height);
    WakeMessageLoop();
}

extern "C" EMSCRIPTEN_KEEPALIVE int WebTickCount() {
    return emulation.timerMessages;
}
