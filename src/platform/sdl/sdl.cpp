// The SDL2 backend's native calls: one SDL window, its events as window messages, the timer
// paced by the event wait itself, and frames shown through an SDL renderer with one streaming
// texture.
#include "platform/sdl/sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/startup_trace.h"

namespace {

struct SdlState {
    bool open = false;
    bool windowed = false;
    const PlatformEvents* events = nullptr;
    SDL_Window* window = nullptr;
    bool fullscreen = false;
    // The X11 connection's socket, which the wait for events watches itself; -1 under other
    // window systems, where SDL's own wait is used.
    int eventSocket = -1;

    // The timer: the time its next tick is due. It is kept by the wait for events, on the
    // message loop's thread; no other thread puts anything in SDL's queue.
    bool timerRunning = false;
    Uint64 period = 20;  // milliseconds
    Uint64 nextTick = 0;

    // The buttons held (MK_* bits) and the pointer's last position, for the mouse messages.
    WPARAM buttons = 0;
    int pointerX = 0;
    int pointerY = 0;

    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;  // the frame shown
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    bool textureLost = false;
};

SdlState sdl;

// --- The window ---------------------------------------------------------------------------

// The screen's own mode: the first display's (the window's, once it is made).
bool DesktopSize(int* width, int* height) {
    const int display = sdl.window ? SDL_GetWindowDisplayIndex(sdl.window) : 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(display >= 0 ? display : 0, &mode) != 0) return false;
    *width = mode.w;
    *height = mode.h;
    return mode.w > 0 && mode.h > 0;
}

int32_t ScreenSide(int side) {
    return side < 1 ? 1 : side > kMostScreenSide ? kMostScreenSide : side;
}

void SdlScreenSize(int32_t* width, int32_t* height) {
    int w = 640;
    int h = 480;
    DesktopSize(&w, &h);
    *width = ScreenSide(w);
    *height = ScreenSide(h);
}

bool CreateSdlWindow(const char* title, DWORD style, int x, int y, int width, int height) {
    if (!sdl.open || sdl.window) return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    // A pop-up window has no frame; with --windowed it gets the usual one and a close button,
    // and the user may resize it (the frame follows).
    if ((style & WS_POPUP) != 0 && !sdl.windowed) flags |= SDL_WINDOW_BORDERLESS;
    if (sdl.windowed) flags |= SDL_WINDOW_RESIZABLE;
    // A pop-up covering the whole screen is the desktop's full-screen window: the screen
    // keeps its mode and the window manager is told the window is full screen.
    int desktopWidth = 0;
    int desktopHeight = 0;
    if (!sdl.windowed && (style & WS_POPUP) != 0 && x == 0 && y == 0 &&
        DesktopSize(&desktopWidth, &desktopHeight) && width == ScreenSide(desktopWidth) &&
        height == ScreenSide(desktopHeight)) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        sdl.fullscreen = true;
    }
    const int left = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : x;
    const int top = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : y;
    // A plain window: the frame is drawn by SDL's software renderer (see OpenScreen), so no
    // OpenGL library is loaded to choose the window's visual.
    sdl.window = SDL_CreateWindow(title, left, top, width, height, flags);
    if (!sdl.window) return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(sdl.window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11) {
        sdl.eventSocket = ConnectionNumber(info.info.x11.display);
    }
    int madeWidth = width;
    int madeHeight = height;
    SDL_GetWindowSize(sdl.window, &madeWidth, &madeHeight);
    if (madeWidth != width || madeHeight != height) {
        sdl.events->resized(ScreenSide(madeWidth), ScreenSide(madeHeight));
    }
    return true;
}

bool ShowSdlWindow(bool show) {
    const bool wasVisible = (SDL_GetWindowFlags(sdl.window) & SDL_WINDOW_SHOWN) != 0;
    if (show) {
        SDL_ShowWindow(sdl.window);
        SDL_RaiseWindow(sdl.window);
    } else {
        SDL_HideWindow(sdl.window);
    }
    return wasVisible;
}

void DestroySdlWindow() {
    // The SDL window stays (hidden) until CloseSdlBackend: the display's surfaces, released
    // after the message loop, still use its renderer.
    SDL_HideWindow(sdl.window);
}

void SetSdlTitle(const char* text) {
    SDL_SetWindowTitle(sdl.window, text);
}

void ShowSdlPointer(bool visible) {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void AcceptSdlFiles(bool) {
    // SDL reports every drop; the emulation passes them on only while files are taken.
}

// --- Time and events ------------------------------------------------------------------------

void StartSdlTimer(UINT period) {
    sdl.timerRunning = true;
    sdl.period = period;
    sdl.nextTick = SDL_GetTicks64() + period;
}

void StopSdlTimer() {
    sdl.timerRunning = false;
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
    const SDL_Keymod modifiers = SDL_GetModState();
    WPARAM keys = sdl.buttons;
    if ((modifiers & KMOD_SHIFT) != 0) keys |= MK_SHIFT;
    if ((modifiers & KMOD_CTRL) != 0) keys |= MK_CONTROL;
    return keys;
}

// Posts the window messages of one SDL event; false when the loop is to end (the window's
// close was asked for with the window already gone).
bool PostEvent(SDL_Event& event) {
    const PlatformEvents& events = *sdl.events;
    switch (event.type) {
        case SDL_QUIT:
            // Ctrl+C, a termination signal or the window's close button.
            return events.post(WM_CLOSE, 0, 0);
        case SDL_KEYDOWN: {
            const WPARAM key = VirtualKey(event.key.keysym.sym);
            // Repeat count 1; bit 30 set when the key was already down.
            const LPARAM flags = 1 | (event.key.repeat ? LPARAM{1} << 30 : 0);
            if (key != 0) events.post(WM_KEYDOWN, key, flags);
            return true;
        }
        case SDL_TEXTINPUT:
            // Printable ASCII only: the shell's character keys are all ASCII.
            for (size_t i = 0; i < sizeof event.text.text && event.text.text[i] != '\0'; ++i) {
                const auto c = static_cast<unsigned char>(event.text.text[i]);
                if (c >= 0x20 && c <= 0x7E) events.post(WM_CHAR, c, 1);
            }
            return true;
        case SDL_MOUSEMOTION:
            sdl.pointerX = event.motion.x;
            sdl.pointerY = event.motion.y;
            events.post(WM_MOUSEMOVE, MouseKeys(), MAKELPARAM(event.motion.x, event.motion.y));
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            const WPARAM bit = ButtonBit(event.button.button);
            if (bit == 0) return true;
            const bool down = event.type == SDL_MOUSEBUTTONDOWN;
            // Like Win32, wParam holds the buttons as they are after the change.
            sdl.buttons = down ? (sdl.buttons | bit) : (sdl.buttons & ~bit);
            const UINT code = bit == MK_LBUTTON   ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                              : bit == MK_RBUTTON ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                                                  : (down ? WM_MBUTTONDOWN : WM_MBUTTONUP);
            sdl.pointerX = event.button.x;
            sdl.pointerY = event.button.y;
            events.post(code, MouseKeys(), MAKELPARAM(event.button.x, event.button.y));
            return true;
        }
        case SDL_MOUSEWHEEL: {
            int notches = event.wheel.y;
            if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
            if (notches > 100) notches = 100;
            if (notches < -100) notches = -100;
            if (notches != 0) {
                events.post(WM_MOUSEWHEEL, MAKEWPARAM(MouseKeys(), notches * WHEEL_DELTA),
                            MAKELPARAM(sdl.pointerX, sdl.pointerY));
            }
            return true;
        }
        case SDL_DROPFILE:
            // SDL reports each file of a drop as an event of its own.
            if (event.drop.file) {
                const char* name = event.drop.file;
                events.postDrop(&name, 1);
            }
            SDL_free(event.drop.file);
            return true;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                events.resized(ScreenSide(event.window.data1), ScreenSide(event.window.data2));
            }
            return true;
        case SDL_RENDER_DEVICE_RESET:
            sdl.textureLost = true;
            events.screenLost();
            return true;
        default:
            return true;
    }
}

// The timer's tick is due first; otherwise the wait lasts until an event or the tick.
//
// Under X11 the wait is this function's own, on the connection's socket, after SDL has taken
// in what is already there (SDL_PollEvent never waits). SDL's waiting functions wake
// themselves by sending an event to the window through a second connection of their own when
// an event arrives during the wait, and the X server may take that event from its
// connection only after the window was destroyed through the first: the X error BadWindow
// (X_SendEvent), which ends the program with status 1 as it quits. Nothing else puts events in
// SDL's queue from another thread either, so no wait ever needs waking.
bool WaitForSdlEvents() {
    int timeout = -1;
    if (sdl.timerRunning) {
        const Uint64 now = SDL_GetTicks64();
        if (now >= sdl.nextTick) {
            // One tick is owed however late the loop is, as Win32 keeps one timer message;
            // the ticks missed meanwhile are dropped and the timer keeps its pace.
            sdl.nextTick += sdl.period;
            if (sdl.nextTick <= now) {
                sdl.nextTick += ((now - sdl.nextTick) / sdl.period + 1) * sdl.period;
            }
            sdl.events->timerElapsed(1);
            return true;
        }
        timeout = static_cast<int>(sdl.nextTick - now);
    }
    SDL_Event event;
    if (sdl.eventSocket >= 0) {
        if (SDL_PollEvent(&event)) return PostEvent(event);
        pollfd socket = {sdl.eventSocket, POLLIN, 0};
        // Woken by the window system, the tick's time or a signal (Ctrl+C, which SDL then
        // reports as SDL_QUIT); either way the caller comes back to take what is there.
        if (poll(&socket, 1, timeout) > 0 && (socket.revents & POLLNVAL) != 0) {
            sdl.eventSocket = -1;
        }
        return true;
    }
    if (SDL_WaitEventTimeout(&event, timeout) == 0) {
        // With a timer: the tick is due. Without: the event queue itself failed, so nothing
        // can arrive any more.
        return timeout >= 0;
    }
    return PostEvent(event);
}

DWORD SdlMessageTime() {
    return SDL_GetTicks();
}

// --- The screen -----------------------------------------------------------------------------

HRESULT SetSdlDisplayMode(int32_t width, int32_t height) {
    if (!sdl.window) return DDERR_GENERIC;
    if (sdl.windowed) {
        SDL_SetWindowSize(sdl.window, width, height);
        return DD_OK;
    }
    // A real mode change where the display lists the size; otherwise cover the desktop and
    // let the renderer scale (see OpenScreen).
    const int display = SDL_GetWindowDisplayIndex(sdl.window);
    const int modes = display >= 0 ? SDL_GetNumDisplayModes(display) : 0;
    for (int i = 0; i < modes; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
        if (mode.w != width || mode.h != height) continue;
        if (SDL_SetWindowDisplayMode(sdl.window, &mode) == 0 &&
            SDL_SetWindowFullscreen(sdl.window, SDL_WINDOW_FULLSCREEN) == 0) {
            sdl.fullscreen = true;
            return DD_OK;
        }
        break;
    }
    // The window is first moved over the whole display by hand: without a window manager
    // (a bare X server) the full-screen request alone leaves it where it was.
    SDL_Rect bounds;
    if (display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
        SDL_SetWindowPosition(sdl.window, bounds.x, bounds.y);
        SDL_SetWindowSize(sdl.window, bounds.w, bounds.h);
    }
    if (SDL_SetWindowFullscreen(sdl.window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) {
        sdl.fullscreen = true;
    }
    // Without full screen at all the frame still shows, in the window.
    return DD_OK;
}

void LeaveSdlDisplayMode() {
    if (sdl.fullscreen && sdl.window) SDL_SetWindowFullscreen(sdl.window, 0);
    sdl.fullscreen = false;
}

bool CreateTexture() {
    // XRGB8888: 0x00RRGGBB in one 32-bit word, top byte ignored, as the frame is laid out.
    sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_RGB888,
                                    SDL_TEXTUREACCESS_STREAMING, sdl.screenWidth, sdl.screenHeight);
    sdl.textureLost = sdl.texture == nullptr;
    return sdl.texture != nullptr;
}

// The renderer stays from the first screen to the backend's end: a resized window only
// needs a texture of its new size.
void CloseSdlScreen() {
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    sdl.texture = nullptr;
    sdl.textureLost = false;
}

HRESULT OpenSdlScreen(int32_t width, int32_t height) {
    if (!sdl.window || sdl.texture) return DDERR_GENERIC;
    if (!sdl.renderer) {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        // The software renderer copies the frame into the window's own pixels (shared memory
        // under X11): a 640x480 frame needs no GPU, and loading none (OpenGL under X11 means
        // Mesa) takes most of the time to the first frame. SDL_RENDER_DRIVER still chooses.
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
        // ... and the window's pixels are the window system's own, not an OpenGL texture.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        sdl.renderer = SDL_CreateRenderer(sdl.window, -1, 0);
        if (!sdl.renderer) return DDERR_GENERIC;
    }
    sdl.screenWidth = width;
    sdl.screenHeight = height;
    // The frame keeps its exact aspect; at the window's own size this is a 1:1 copy.
    if (SDL_RenderSetLogicalSize(sdl.renderer, width, height) != 0 || !CreateTexture()) {
        CloseSdlScreen();
        return DDERR_GENERIC;
    }
    // Black until the first flip.
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    SDL_RenderPresent(sdl.renderer);
    return DD_OK;
}

HRESULT PresentSdlFrame(const uint32_t* pixels, int32_t width, int32_t height) {
    if (sdl.textureLost) return DDERR_SURFACELOST;
    if (!sdl.texture || width != sdl.screenWidth || height != sdl.screenHeight ||
        SDL_UpdateTexture(sdl.texture, nullptr, pixels, width * 4) != 0) {
        return DDERR_GENERIC;
    }
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, nullptr);
    SDL_RenderPresent(sdl.renderer);
    TraceFirstFrame();
    return DD_OK;
}

HRESULT RestoreSdlScreen() {
    // The renderer's device was reset: the texture is made anew.
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    sdl.texture = nullptr;
    return CreateTexture() ? DD_OK : DDERR_SURFACELOST;
}

// --- A long frame ------------------------------------------------------------------------

// A quit (the window's close button, Ctrl+C) or an Escape press among the events SDL has
// gathered, left in its queue for the wait. SDL_PumpEvents only reads what the window system
// sent; it never writes to it, unlike SDL's waiting functions (see WaitForSdlEvents).
bool SdlQuitPending() {
    if (!sdl.open) return false;
    SDL_PumpEvents();
    SDL_Event events[32];
    if (SDL_PeepEvents(events, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) return true;
    const int keys = SDL_PeepEvents(events, 32, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN);
    for (int i = 0; i < keys; ++i) {
        if (events[i].key.keysym.sym == SDLK_ESCAPE) return true;
    }
    return false;
}

const PlatformBackend sdlBackend = {
    "sdl",          CreateSdlWindow, ShowSdlWindow,     DestroySdlWindow,    SetSdlTitle,
    ShowSdlPointer, AcceptSdlFiles,  StartSdlTimer,     StopSdlTimer,        WaitForSdlEvents,
    SdlMessageTime, SdlScreenSize,   SetSdlDisplayMode, LeaveSdlDisplayMode, OpenSdlScreen,
    CloseSdlScreen, PresentSdlFrame, RestoreSdlScreen,  SdlQuitPending,
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

bool OpenSdlBackend(bool windowed, const PlatformEvents& events, std::string& error) {
    if (sdl.open) return true;
    StderrHold hold;
    // No timer subsystem: the timer is the event wait's timeout (WaitForSdlEvents).
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        error = SDL_GetError();
        return false;
    }
    // SDL falls back to drivers that show nothing; unless asked for by name they mean
    // that there is no display.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    const bool invisible =
        driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && !(requested && std::strcmp(requested, driver) == 0)) {
        const char* x11 = SDL_getenv("DISPLAY");
        error = (x11 && x11[0]) ? "no X11, Wayland or console display could be opened"
                                : "no X11, Wayland or console display could be opened "
                                  "(DISPLAY is not set)";
        SDL_Quit();
        return false;
    }
    sdl.open = true;
    sdl.windowed = windowed;
    sdl.events = &events;
    hold.passOn = true;
    return true;
}

const PlatformBackend& SdlBackend() {
    return sdlBackend;
}

void CloseSdlBackend() {
    if (!sdl.open) return;
    CloseSdlScreen();
    if (sdl.renderer) SDL_DestroyRenderer(sdl.renderer);
    if (sdl.window) SDL_DestroyWindow(sdl.window);
    SDL_Quit();
    sdl = SdlState{};
}
