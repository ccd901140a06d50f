// The headless backend: one window, a scripted message queue, DirectDraw surfaces in plain
// memory, a call log and chosen results.
#include "platform/headless/headless.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>

#include "platform/memory/frame_memory.h"
#include "platform/surface_rules.h"

namespace {

struct HeadlessSurface;

struct HeadlessDirectDraw final : IDirectDraw {
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                            IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bpp) override;

    DWORD cooperativeFlags = 0;
    int32_t modeWidth = 0;
    int32_t modeHeight = 0;
};

struct HeadlessSurface final : IDirectDrawSurface {
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

    char name[16] = {};
    DWORD surfaceCaps = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t, FrameAllocator<uint32_t>> pixels;
    HeadlessSurface* backBuffer = nullptr;  // the primary's attached back buffer
    bool locked = false;
    bool isWork = false;
    bool isBackBuffer = false;
};

// One message of the script, delivered `repeat` times in a row. A run of timer ticks is one
// entry, so long runs take no memory per tick and deliver without allocating or freeing.
struct ScriptEntry {
    MSG message;
    int32_t repeat;
};

// The files of one scripted drop: the HDROP handed out with WM_DROPFILES points here.
struct HeadlessDrop : HDROP__ {
    std::vector<std::string> names;
    bool finished = false;  // DragFinish was called
};

struct HeadlessState {
    HWND__ window{};
    HINSTANCE__ instance{};
    HICON__ icon{};
    HICON__ cursor{};
    HBRUSH__ brush{};

    WNDCLASSEXA registeredClass{};
    char className[64] = {};
    bool classRegistered = false;
    bool windowAlive = false;
    bool windowCreated = false;
    WNDPROC windowProc = nullptr;
    bool timerSet = false;
    UINT_PTR timerId = 0;
    int32_t cursorCount = 0;
    bool quitPosted = false;
    int quitCode = 0;
    bool scriptCloseSent = false;
    DWORD messageTime = 0;
    std::deque<ScriptEntry> script;
    int32_t ticksDelivered = 0;
    HeadlessMessageHook messageHook = nullptr;
    void* messageHookUser = nullptr;
    std::string windowTitle;
    bool acceptsFiles = false;
    std::vector<std::unique_ptr<HeadlessDrop>> drops;  // in script order

    HeadlessDirectDraw* directDraw = nullptr;
    std::vector<HeadlessSurface*> surfaces;  // live surfaces, back buffers included
    int32_t workSurfacesCreated = 0;
    std::vector<HeadlessSurface*> workSurfaces;  // in creation order, null once released
    DWORD pixelBits = 32;

    std::array<std::deque<HRESULT>, static_cast<size_t>(HeadlessCall::Count)> queued;
    std::array<std::optional<HRESULT>, static_cast<size_t>(HeadlessCall::Count)> always;

    HeadlessFrameCallback frameCallback = nullptr;
    void* frameUser = nullptr;
    int32_t framesPresented = 0;

    bool logEnabled = false;
    std::vector<std::string> log;
};

HeadlessState headless;

__attribute__((format(printf, 1, 2))) void LogLine(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    headless.log.emplace_back(line);
}

// One line of the call log. The arguments are evaluated only while logging is on, so the
// calls made every frame spend nothing on naming handles and results.
#define LOG_CALL(...)                                  \
    do {                                               \
        if (headless.logEnabled) LogLine(__VA_ARGS__); \
    } while (0)

// Handle and pointer arguments are logged by role, so tests can compare plain text.
const char* HandleName(const void* handle) {
    if (handle == nullptr) return "null";
    if (handle == &headless.window) return "window";
    if (handle == &headless.instance) return "instance";
    if (handle == &headless.icon) return "icon";
    if (handle == &headless.cursor) return "cursor";
    if (handle == &headless.brush) return "brush";
    if (handle == headless.directDraw) return "directDraw";
    for (HeadlessSurface* surface : headless.surfaces) {
        if (handle == surface) return surface->name;
    }
    return "unknown";
}

// System resource identifiers are small integers cast to pointers.
void ResourceName(LPCSTR resource, char (&out)[32]) {
    auto value = reinterpret_cast<uintptr_t>(resource);
    if (value < 0x10000) {
        std::snprintf(out, sizeof out, "%u", static_cast<unsigned>(value));
    } else {
        std::snprintf(out, sizeof out, "\"%.24s\"", resource);
    }
}

const char* MessageName(UINT message, char (&buffer)[16]) {
    switch (message) {
        case WM_DESTROY:
            return "WM_DESTROY";
        case WM_CLOSE:
            return "WM_CLOSE";
        case WM_QUIT:
            return "WM_QUIT";
        case WM_KEYDOWN:
            return "WM_KEYDOWN";
        case WM_KEYUP:
            return "WM_KEYUP";
        case WM_TIMER:
            return "WM_TIMER";
        case WM_CHAR:
            return "WM_CHAR";
        case WM_MOUSEMOVE:
            return "WM_MOUSEMOVE";
        case WM_LBUTTONDOWN:
            return "WM_LBUTTONDOWN";
        case WM_LBUTTONUP:
            return "WM_LBUTTONUP";
        case WM_RBUTTONDOWN:
            return "WM_RBUTTONDOWN";
        case WM_RBUTTONUP:
            return "WM_RBUTTONUP";
        case WM_MBUTTONDOWN:
            return "WM_MBUTTONDOWN";
        case WM_MBUTTONUP:
            return "WM_MBUTTONUP";
        case WM_MOUSEWHEEL:
            return "WM_MOUSEWHEEL";
        case WM_DROPFILES:
            return "WM_DROPFILES";
        default:
            std::snprintf(buffer, sizeof buffer, "0x%X", message);
            return buffer;
    }
}

const char* ResultName(HRESULT result, char (&buffer)[16]) {
    switch (result) {
        case DD_OK:
            return "DD_OK";
        case DDERR_SURFACELOST:
            return "DDERR_SURFACELOST";
        case DDERR_WASSTILLDRAWING:
            return "DDERR_WASSTILLDRAWING";
        case DDERR_GENERIC:
            return "DDERR_GENERIC";
        case DDERR_INVALIDPARAMS:
            return "DDERR_INVALIDPARAMS";
        case DDERR_SURFACEBUSY:
            return "DDERR_SURFACEBUSY";
        case DDERR_NOTLOCKED:
            return "DDERR_NOTLOCKED";
        default:
            std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<uint32_t>(result));
            return buffer;
    }
}

// The chosen result for this call of `call`, if one is set and it is not DD_OK.
std::optional<HRESULT> TakeChosenResult(HeadlessCall call) {
    auto index = static_cast<size_t>(call);
    if (!headless.queued[index].empty()) {
        HRESULT result = headless.queued[index].front();
        headless.queued[index].pop_front();
        if (result == DD_OK) return std::nullopt;
        return result;
    }
    return headless.always[index];
}

void DestroySurface(HeadlessSurface* surface) {
    std::erase(headless.surfaces, surface);
    for (HeadlessSurface*& work : headless.workSurfaces) {
        if (work == surface) work = nullptr;
    }
    delete surface;
}

// --- DirectDraw object -------------------------------------------------------------------

ULONG STDMETHODCALLTYPE HeadlessDirectDraw::Release() {
    LOG_CALL("Release(directDraw)");
    // Surfaces outlive their DirectDraw object here; ResetHeadlessBackend frees any left.
    headless.directDraw = nullptr;
    delete this;
    return 0;
}

HRESULT STDMETHODCALLTYPE HeadlessDirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
    char resultName[16];
    HRESULT result = DD_OK;
    if (auto chosen = TakeChosenResult(HeadlessCall::SetCooperativeLevel)) {
        result = *chosen;
    } else if (window != &headless.window || !headless.windowAlive) {
        result = DDERR_INVALIDPARAMS;
    } else if (!CooperativeFlagsValid(flags)) {
        result = DDERR_INVALIDPARAMS;
    } else {
        cooperativeFlags = flags;
    }
    LOG_CALL("SetCooperativeLevel(%s, 0x%X) -> %s", HandleName(window), flags,
             ResultName(result, resultName));
    return result;
}

HRESULT STDMETHODCALLTYPE HeadlessDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bpp) {
    char resultName[16];
    HRESULT result = DD_OK;
    if (auto chosen = TakeChosenResult(HeadlessCall::SetDisplayMode)) {
        result = *chosen;
    } else if ((cooperativeFlags & DDSCL_EXCLUSIVE) == 0) {
        result = DDERR_NOEXCLUSIVEMODE;
    } else if (!DisplayModeValid(width, height, bpp)) {
        result = DDERR_INVALIDMODE;
    } else {
        modeWidth = static_cast<int32_t>(width);
        modeHeight = static_cast<int32_t>(height);
    }
    LOG_CALL("SetDisplayMode(%u, %u, %u) -> %s", width, height, bpp,
             ResultName(result, resultName));
    return result;
}

HRESULT STDMETHODCALLTYPE HeadlessDirectDraw::CreateSurface(LPDDSURFACEDESC desc,
                                                            LPDIRECTDRAWSURFACE* surface,
                                                            IUnknown* outer) {
    char resultName[16];
    char descText[160] = "null";
    if (desc && headless.logEnabled) {
        std::snprintf(descText, sizeof descText,
                      "{size=%u flags=0x%X width=%u height=%u backbuffers=%u caps=0x%X}",
                      desc->dwSize, desc->dwFlags, desc->dwWidth, desc->dwHeight,
                      desc->dwBackBufferCount, desc->ddsCaps.dwCaps);
    }
    HRESULT result = DD_OK;
    HeadlessSurface* created = nullptr;
    if (auto chosen = TakeChosenResult(HeadlessCall::CreateSurface)) {
        result = *chosen;
    } else if (!surface || !SurfaceRequestValid(desc, outer)) {
        result = DDERR_INVALIDPARAMS;
    } else if ((desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0) {
        DWORD caps = desc->ddsCaps.dwCaps;
        bool flipping = (caps & DDSCAPS_FLIP) != 0;
        if (modeWidth == 0) {
            result = DDERR_NOEXCLUSIVEMODE;
        } else if (flipping && !FlippingChainRequestValid(*desc)) {
            result = DDERR_INVALIDCAPS;
        } else {
            created = new HeadlessSurface;
            std::snprintf(created->name, sizeof created->name, "primary");
            created->surfaceCaps = caps;
            created->width = modeWidth;
            created->height = modeHeight;
            created->pixels.assign(static_cast<size_t>(modeWidth) * modeHeight, 0);
            headless.surfaces.push_back(created);
            if (flipping) {
                auto* back = new HeadlessSurface;
                std::snprintf(back->name, sizeof back->name, "backbuffer");
                back->surfaceCaps = DDSCAPS_BACKBUFFER | (caps & DDSCAPS_HWCODEC);
                back->isBackBuffer = true;
                back->width = modeWidth;
                back->height = modeHeight;
                back->pixels.assign(created->pixels.size(), 0);
                headless.surfaces.push_back(back);
                created->backBuffer = back;
            }
        }
    } else if ((desc->ddsCaps.dwCaps & DDSCAPS_OFFSCREENPLAIN) != 0) {
        if (!OffscreenRequestValid(*desc)) {
            result = DDERR_INVALIDPARAMS;
        } else {
            created = new HeadlessSurface;
            headless.workSurfacesCreated++;
            std::snprintf(created->name, sizeof created->name, "work%d",
                          headless.workSurfacesCreated);
            created->surfaceCaps = desc->ddsCaps.dwCaps;
            created->width = static_cast<int32_t>(desc->dwWidth);
            created->height = static_cast<int32_t>(desc->dwHeight);
            created->pixels.assign(static_cast<size_t>(created->width) * created->height, 0);
            created->isWork = true;
            headless.surfaces.push_back(created);
            headless.workSurfaces.push_back(created);
        }
    } else {
        result = DDERR_INVALIDCAPS;
    }
    if (surface) *surface = created;
    LOG_CALL("CreateSurface(%s, out, %s) -> %s%s%s", descText, HandleName(outer),
             ResultName(result, resultName), created ? ": " : "", created ? created->name : "");
    return result;
}

// --- Surfaces ----------------------------------------------------------------------------

ULONG STDMETHODCALLTYPE HeadlessSurface::Release() {
    LOG_CALL("Release(%s)", name);
    // GetAttachedSurface added no reference, so the back buffer lives as long as its chain.
    if (isBackBuffer) return 1;
    // Releasing the head of a flipping chain releases the whole chain.
    if (backBuffer) DestroySurface(backBuffer);
    DestroySurface(this);
    return 0;
}

HRESULT STDMETHODCALLTYPE HeadlessSurface::GetAttachedSurface(LPDDSCAPS caps,
                                                              LPDIRECTDRAWSURFACE* attached) {
    char resultName[16];
    HRESULT result = DD_OK;
    HeadlessSurface* found = nullptr;
    if (auto chosen = TakeChosenResult(HeadlessCall::GetAttachedSurface)) {
        result = *chosen;
    } else if (!caps || !attached) {
        result = DDERR_INVALIDPARAMS;
    } else if (!backBuffer || (caps->dwCaps & DDSCAPS_BACKBUFFER) == 0) {
        result = DDERR_NOTFOUND;
    } else {
        // The chain keeps the back buffer alive; no reference is added for the caller.
        found = backBuffer;
    }
    if (attached) *attached = found;
    LOG_CALL("GetAttachedSurface(%s, 0x%X, out) -> %s%s%s", name, caps ? caps->dwCaps : 0u,
             ResultName(result, resultName), found ? ": " : "", found ? found->name : "");
    return result;
}

HRESULT STDMETHODCALLTYPE HeadlessSurface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags,
                                                HANDLE event) {
    char resultName[16];
    HRESULT result = DD_OK;
    if (auto chosen = TakeChosenResult(HeadlessCall::Lock)) {
        result = *chosen;
    } else if (!desc || desc->dwSize != sizeof(DDSURFACEDESC) || rect) {
        result = DDERR_INVALIDPARAMS;
    } else if (locked) {
        result = DDERR_SURFACEBUSY;
    } else if (!isWork) {
        result = DDERR_UNSUPPORTED;
    } else {
        locked = true;
        DescribeLockedSurface(*desc, width, height, headless.pixelBits, pixels.data(), surfaceCaps);
    }
    LOG_CALL("Lock(%s, %s, {size=%u}, 0x%X, %s) -> %s", name, rect ? "rect" : "null",
             desc ? desc->dwSize : 0u, flags, HandleName(event), ResultName(result, resultName));
    return result;
}

HRESULT STDMETHODCALLTYPE HeadlessSurface::Unlock(LPVOID data) {
    char resultName[16];
    HRESULT result = locked ? DD_OK : DDERR_NOTLOCKED;
    locked = false;
    LOG_CALL("Unlock(%s, %s) -> %s", name, data ? "data" : "null", ResultName(result, resultName));
    return result;
}

HRESULT STDMETHODCALLTYPE HeadlessSurface::BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source,
                                                   LPRECT sourceRect, DWORD flags) {
    char resultName[16];
    char rectText[64] = "null";
    if (sourceRect && headless.logEnabled) {
        std::snprintf(rectText, sizeof rectText, "{%d, %d, %d, %d}", sourceRect->left,
                      sourceRect->top, sourceRect->right, sourceRect->bottom);
    }
    auto* from = static_cast<HeadlessSurface*>(source);
    HRESULT result = DD_OK;
    if (auto chosen = TakeChosenResult(HeadlessCall::BltFast)) {
        result = *chosen;
    } else if (!from) {
        result = DDERR_INVALIDPARAMS;
    } else if (from->locked || locked) {
        result = DDERR_SURFACEBUSY;
    } else {
        RECT r = sourceRect ? *sourceRect : RECT{0, 0, from->width, from->height};
        if (!BltRectValid(r, from->width, from->height, x, y, width, height)) {
            result = DDERR_INVALIDRECT;
        } else {
            auto rowBytes = static_cast<size_t>(r.right - r.left) * sizeof(uint32_t);
            for (LONG row = r.top; row < r.bottom; ++row) {
                const uint32_t* in = &from->pixels[static_cast<size_t>(row) * from->width +
                                                   static_cast<size_t>(r.left)];
                uint32_t* out =
                    &pixels[(static_cast<size_t>(y) + static_cast<size_t>(row - r.top)) * width +
                            x];
                std::memcpy(out, in, rowBytes);
            }
        }
    }
    LOG_CALL("BltFast(%s, %u, %u, %s, %s, 0x%X) -> %s", name, x, y, HandleName(source), rectText,
             flags, ResultName(result, resultName));
    return result;
}

HRESULT STDMETHODCALLTYPE HeadlessSurface::Flip(LPDIRECTDRAWSURFACE target, DWORD flags) {
    char resultName[16];
    HRESULT result = DD_OK;
    if (auto chosen = TakeChosenResult(HeadlessCall::Flip)) {
        result = *chosen;
    } else if (!backBuffer) {
        result = DDERR_NOTFLIPPABLE;
    } else if (target && target != backBuffer) {
        result = DDERR_INVALIDPARAMS;
    } else {
        // The back buffer becomes visible; the old front becomes the next back buffer.
        pixels.swap(backBuffer->pixels);
        headless.framesPresented++;
    }
    LOG_CALL("Flip(%s, %s, 0x%X) -> %s", name, HandleName(target), flags,
             ResultName(result, resultName));
    if (result == DD_OK && headless.frameCallback) {
        headless.frameCallback(pixels.data(), width, height, headless.frameUser);
    }
    return result;
}

HRESULT STDMETHODCALLTYPE HeadlessSurface::Restore() {
    char resultName[16];
    HRESULT result = DD_OK;
    if (auto chosen = TakeChosenResult(HeadlessCall::Restore)) result = *chosen;
    LOG_CALL("Restore(%s) -> %s", name, ResultName(result, resultName));
    return result;
}

// --- Win32 -------------------------------------------------------------------------------

HMODULE HeadlessGetModuleHandle(LPCSTR moduleName) {
    LOG_CALL("GetModuleHandleA(%s)", moduleName ? moduleName : "null");
    return moduleName ? nullptr : &headless.instance;
}

HICON HeadlessLoadIcon(HINSTANCE instance, LPCSTR iconName) {
    char resource[32];
    ResourceName(iconName, resource);
    LOG_CALL("LoadIconA(%s, %s)", HandleName(instance), resource);
    return &headless.icon;
}

HCURSOR HeadlessLoadCursor(HINSTANCE instance, LPCSTR cursorName) {
    char resource[32];
    ResourceName(cursorName, resource);
    LOG_CALL("LoadCursorA(%s, %s)", HandleName(instance), resource);
    return &headless.cursor;
}

HGDIOBJ HeadlessGetStockObject(int object) {
    LOG_CALL("GetStockObject(%d)", object);
    return object == WHITE_BRUSH ? &headless.brush : nullptr;
}

ATOM HeadlessRegisterClassEx(const WNDCLASSEXA* windowClass) {
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpszClassName ||
        !windowClass->lpfnWndProc || headless.classRegistered) {
        LOG_CALL("RegisterClassExA(invalid) -> 0");
        return 0;
    }
    headless.registeredClass = *windowClass;
    std::snprintf(headless.className, sizeof headless.className, "%s", windowClass->lpszClassName);
    headless.registeredClass.lpszClassName = headless.className;
    headless.registeredClass.lpszMenuName = nullptr;
    headless.classRegistered = true;
    LOG_CALL("RegisterClassExA(\"%s\") -> 1", headless.className);
    return 1;
}

HWND HeadlessCreateWindowEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    char xText[16];
    char yText[16];
    std::snprintf(xText, sizeof xText, "%d", x);
    std::snprintf(yText, sizeof yText, "%d", y);
    bool known = headless.classRegistered && className &&
                 std::strcmp(className, headless.className) == 0 && !headless.windowCreated;
    LOG_CALL("CreateWindowExA(0x%X, \"%s\", \"%s\", 0x%X, %s, %s, %d, %d, %s, %s, %s, %s) -> %s",
             exStyle, className ? className : "", windowName ? windowName : "", style,
             x == CW_USEDEFAULT ? "CW_USEDEFAULT" : xText,
             y == CW_USEDEFAULT ? "CW_USEDEFAULT" : yText, width, height, HandleName(parent),
             HandleName(menu), HandleName(instance), param ? "param" : "null",
             known ? "window" : "null");
    if (!known) return nullptr;
    headless.windowCreated = true;
    headless.windowAlive = true;
    headless.windowProc = headless.registeredClass.lpfnWndProc;
    return &headless.window;
}

bool IsLiveWindow(HWND window) {
    return window == &headless.window && headless.windowAlive;
}

BOOL HeadlessShowWindow(HWND window, int showCommand) {
    LOG_CALL("ShowWindow(%s, %d)", HandleName(window), showCommand);
    return FALSE;
}

BOOL HeadlessUpdateWindow(HWND window) {
    LOG_CALL("UpdateWindow(%s)", HandleName(window));
    return IsLiveWindow(window) ? TRUE : FALSE;
}

BOOL HeadlessDestroyWindow(HWND window) {
    LOG_CALL("DestroyWindow(%s)", HandleName(window));
    if (!IsLiveWindow(window)) return FALSE;
    headless.windowAlive = false;
    headless.timerSet = false;
    headless.windowProc(window, WM_DESTROY, 0, 0);
    return TRUE;
}

int HeadlessShowCursor(BOOL show) {
    headless.cursorCount += show ? 1 : -1;
    LOG_CALL("ShowCursor(%d) -> %d", show, headless.cursorCount);
    return headless.cursorCount;
}

UINT_PTR HeadlessSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
    LOG_CALL("SetTimer(%s, %lu, %u, %s)", HandleName(window), static_cast<unsigned long>(id),
             elapse, timerProc ? "proc" : "null");
    if (!IsLiveWindow(window)) return 0;
    headless.timerSet = true;
    headless.timerId = id;
    return 1;
}

void FillMessage(LPMSG message, UINT code, WPARAM wParam, LPARAM lParam) {
    headless.messageTime += 20;
    *message = MSG{IsLiveWindow(&headless.window) ? &headless.window : nullptr,
                   code,
                   wParam,
                   lParam,
                   headless.messageTime,
                   {0, 0}};
}

BOOL HeadlessGetMessage(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    char name[16];
    for (;;) {
        if (headless.quitPosted) {
            headless.quitPosted = false;
            FillMessage(message, WM_QUIT, static_cast<WPARAM>(headless.quitCode), 0);
            message->hwnd = nullptr;
            LOG_CALL("GetMessageA(%s, %u, %u) -> 0: WM_QUIT", HandleName(window), filterMin,
                     filterMax);
            return FALSE;
        }
        if (!headless.script.empty()) {
            ScriptEntry& entry = headless.script.front();
            MSG next = entry.message;
            if (--entry.repeat == 0) headless.script.pop_front();
            // Like the real queue, timer messages exist only while a timer runs.
            if (next.message == WM_TIMER && !headless.timerSet) continue;
            if (next.message == WM_TIMER) next.wParam = headless.timerId;
            // Files reach only a window that accepts them.
            if (next.message == WM_DROPFILES && !headless.acceptsFiles) continue;
            FillMessage(message, next.message, next.wParam, next.lParam);
        } else if (IsLiveWindow(&headless.window) && !headless.scriptCloseSent) {
            // The script is used up: close the window as a user would, so the run ends.
            headless.scriptCloseSent = true;
            FillMessage(message, WM_CLOSE, 0, 0);
        } else {
            // Nothing can ever arrive again; report the quit message rather than block.
            FillMessage(message, WM_QUIT, 0, 0);
            message->hwnd = nullptr;
            LOG_CALL("GetMessageA(%s, %u, %u) -> 0: WM_QUIT (script ended)", HandleName(window),
                     filterMin, filterMax);
            return FALSE;
        }
        LOG_CALL("GetMessageA(%s, %u, %u) -> 1: %s", HandleName(window), filterMin, filterMax,
                 MessageName(message->message, name));
        if (headless.messageHook) {
            headless.messageHook(message->message, headless.ticksDelivered,
                                 headless.messageHookUser);
        }
        if (message->message == WM_TIMER) headless.ticksDelivered++;
        return TRUE;
    }
}

BOOL HeadlessTranslateMessage(const MSG* message) {
    char name[16];
    LOG_CALL("TranslateMessage(%s)", message ? MessageName(message->message, name) : "null");
    return FALSE;
}

LRESULT HeadlessDispatchMessage(const MSG* message) {
    char name[16];
    LOG_CALL("DispatchMessageA(%s)", message ? MessageName(message->message, name) : "null");
    if (!message || !IsLiveWindow(message->hwnd)) return 0;
    return headless.windowProc(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT HeadlessDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char name[16];
    LOG_CALL("DefWindowProcA(%s, %s, %lu, %ld)", HandleName(window), MessageName(message, name),
             static_cast<unsigned long>(wParam), static_cast<long>(lParam));
    if (message == WM_CLOSE) HeadlessDestroyWindow(window);
    return 0;
}

LRESULT HeadlessSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char name[16];
    LOG_CALL("SendMessageA(%s, %s, %lu, %ld)", HandleName(window), MessageName(message, name),
             static_cast<unsigned long>(wParam), static_cast<long>(lParam));
    if (!IsLiveWindow(window)) return 0;
    return headless.windowProc(window, message, wParam, lParam);
}

void HeadlessPostQuitMessage(int exitCode) {
    LOG_CALL("PostQuitMessage(%d)", exitCode);
    headless.quitPosted = true;
    headless.quitCode = exitCode;
}

BOOL HeadlessSetWindowText(HWND window, LPCSTR text) {
    LOG_CALL("SetWindowTextA(%s, \"%s\")", HandleName(window), text ? text : "");
    if (!IsLiveWindow(window)) return FALSE;
    headless.windowTitle = text ? text : "";
    return TRUE;
}

void HeadlessDragAcceptFiles(HWND window, BOOL accept) {
    LOG_CALL("DragAcceptFiles(%s, %d)", HandleName(window), accept);
    if (IsLiveWindow(window)) headless.acceptsFiles = accept != FALSE;
}

// The drop behind `drop`, if it is one this backend handed out and it is not finished.
HeadlessDrop* LiveDrop(HDROP drop) {
    for (const auto& record : headless.drops) {
        if (record.get() == drop) return record->finished ? nullptr : record.get();
    }
    return nullptr;
}

UINT HeadlessDragQueryFile(HDROP drop, UINT index, LPSTR name, UINT size) {
    HeadlessDrop* record = LiveDrop(drop);
    if (!record) return 0;
    if (index == 0xFFFFFFFFu) return static_cast<UINT>(record->names.size());
    if (index >= record->names.size()) return 0;
    const std::string& file = record->names[index];
    if (!name) return static_cast<UINT>(file.size());
    if (size == 0) return 0;
    size_t copied = file.size() < size - 1 ? file.size() : size - 1;
    std::memcpy(name, file.data(), copied);
    name[copied] = '\0';
    return static_cast<UINT>(copied);
}

void HeadlessDragFinish(HDROP drop) {
    LOG_CALL("DragFinish(%s)", LiveDrop(drop) ? "drop" : "unknown");
    if (HeadlessDrop* record = LiveDrop(drop)) record->finished = true;
}

HRESULT HeadlessDirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer) {
    char resultName[16];
    HRESULT result = DD_OK;
    HeadlessDirectDraw* created = nullptr;
    if (auto chosen = TakeChosenResult(HeadlessCall::DirectDrawCreate)) {
        result = *chosen;
    } else if (!directDraw || outer) {
        result = DDERR_INVALIDPARAMS;
    } else if (guid) {
        result = DDERR_INVALIDPARAMS;  // only the default display driver exists here
    } else {
        created = new HeadlessDirectDraw;
        headless.directDraw = created;
    }
    if (directDraw) *directDraw = created;
    LOG_CALL("DirectDrawCreate(%s, out, %s) -> %s", guid ? "guid" : "null", HandleName(outer),
             ResultName(result, resultName));
    return result;
}

const PlatformBackend headlessBackend = {
    "headless",
    HeadlessGetModuleHandle,
    HeadlessLoadIcon,
    HeadlessLoadCursor,
    HeadlessGetStockObject,
    HeadlessRegisterClassEx,
    HeadlessCreateWindowEx,
    HeadlessShowWindow,
    HeadlessUpdateWindow,
    HeadlessDestroyWindow,
    HeadlessShowCursor,
    HeadlessSetTimer,
    HeadlessGetMessage,
    HeadlessTranslateMessage,
    HeadlessDispatchMessage,
    HeadlessDefWindowProc,
    HeadlessSendMessage,
    HeadlessPostQuitMessage,
    HeadlessDirectDrawCreate,
    HeadlessSetWindowText,
    HeadlessDragAcceptFiles,
    HeadlessDragQueryFile,
    HeadlessDragFinish,
};

}  // namespace

const PlatformBackend& HeadlessBackend() {
    return headlessBackend;
}

void ResetHeadlessBackend() {
    while (!headless.surfaces.empty()) {
        HeadlessSurface* surface = headless.surfaces.back();
        headless.surfaces.pop_back();
        delete surface;
    }
    delete headless.directDraw;
    headless.directDraw = nullptr;
    headless.window = HWND__{};
    headless.registeredClass = WNDCLASSEXA{};
    headless.className[0] = '\0';
    headless.classRegistered = false;
    headless.windowAlive = false;
    headless.windowCreated = false;
    headless.windowProc = nullptr;
    headless.timerSet = false;
    headless.timerId = 0;
    headless.cursorCount = 0;
    headless.quitPosted = false;
    headless.quitCode = 0;
    headless.scriptCloseSent = false;
    headless.messageTime = 0;
    headless.script.clear();
    headless.ticksDelivered = 0;
    headless.messageHook = nullptr;
    headless.messageHookUser = nullptr;
    headless.windowTitle.clear();
    headless.acceptsFiles = false;
    headless.drops.clear();
    headless.workSurfacesCreated = 0;
    headless.workSurfaces.clear();
    headless.pixelBits = 32;
    for (auto& queue : headless.queued)
        queue.clear();
    for (auto& result : headless.always)
        result.reset();
    headless.frameCallback = nullptr;
    headless.frameUser = nullptr;
    headless.framesPresented = 0;
    headless.logEnabled = false;
    headless.log.clear();
}

void UseHeadlessBackend() {
    ResetHeadlessBackend();
    SetPlatformBackend(&headlessBackend);
}

void HeadlessScriptTicks(int32_t ticks) {
    if (ticks <= 0) return;
    if (!headless.script.empty()) {
        ScriptEntry& last = headless.script.back();
        if (last.message.message == WM_TIMER && last.repeat <= INT32_MAX - ticks) {
            last.repeat += ticks;
            return;
        }
    }
    headless.script.push_back(ScriptEntry{MSG{nullptr, WM_TIMER, 0, 0, 0, {0, 0}}, ticks});
}

void HeadlessScriptKey(WPARAM key) {
    HeadlessScriptMessage(WM_KEYDOWN, key, 1);
}

void HeadlessScriptMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    headless.script.push_back(ScriptEntry{MSG{nullptr, message, wParam, lParam, 0, {0, 0}}, 1});
}

void HeadlessScriptChar(char character) {
    HeadlessScriptMessage(WM_CHAR, static_cast<unsigned char>(character), 1);
}

void HeadlessScriptMouse(UINT message, int x, int y, WPARAM keys) {
    HeadlessScriptMessage(message, keys, MAKELPARAM(x, y));
}

void HeadlessScriptWheel(int delta, WPARAM keys) {
    HeadlessScriptMessage(WM_MOUSEWHEEL, MAKEWPARAM(keys, delta), 0);
}

void HeadlessScriptDrop(std::initializer_list<const char*> names) {
    auto record = std::make_unique<HeadlessDrop>();
    for (const char* name : names)
        record->names.emplace_back(name);
    HeadlessScriptMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(static_cast<HDROP>(record.get())),
                          0);
    headless.drops.push_back(std::move(record));
}

int32_t HeadlessOpenDropCount() {
    int32_t count = 0;
    for (const auto& record : headless.drops)
        count += record->finished ? 0 : 1;
    return count;
}

const std::string& HeadlessWindowTitle() {
    return headless.windowTitle;
}

bool HeadlessAcceptsFiles() {
    return headless.acceptsFiles;
}

void HeadlessSetMessageHook(HeadlessMessageHook hook, void* user) {
    headless.messageHook = hook;
    headless.messageHookUser = user;
}

void HeadlessSetFrameCallback(HeadlessFrameCallback callback, void* user) {
    headless.frameCallback = callback;
    headless.frameUser = user;
}

void HeadlessQueueResults(HeadlessCall call, std::initializer_list<HRESULT> results) {
    auto& queue = headless.queued[static_cast<size_t>(call)];
    queue.insert(queue.end(), results.begin(), results.end());
}

void HeadlessFailAlways(HeadlessCall call, HRESULT result) {
    headless.always[static_cast<size_t>(call)] = result;
}

void HeadlessSetPixelBits(DWORD bits) {
    headless.pixelBits = bits;
}

void HeadlessEnableLog(bool enable) {
    headless.logEnabled = enable;
}

const std::vector<std::string>& HeadlessCallLog() {
    return headless.log;
}

void HeadlessClearLog() {
    headless.log.clear();
}

int32_t HeadlessLockedSurfaceCount() {
    int32_t count = 0;
    for (const HeadlessSurface* surface : headless.surfaces)
        count += surface->locked ? 1 : 0;
    return count;
}

int32_t HeadlessLiveSurfaceCount() {
    return static_cast<int32_t>(headless.surfaces.size());
}

bool HeadlessDirectDrawLive() {
    return headless.directDraw != nullptr;
}

int32_t HeadlessCursorCount() {
    return headless.cursorCount;
}

int32_t HeadlessFramesPresented() {
    return headless.framesPresented;
}

HWND HeadlessWindow() {
    return &headless.window;
}

bool HeadlessWindowAlive() {
    return headless.windowAlive;
}

const WNDCLASSEXA& HeadlessRegisteredClass() {
    return headless.registeredClass;
}

const uint32_t* HeadlessWorkSurfacePixels(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(headless.workSurfaces.size())) return nullptr;
    HeadlessSurface* surface = headless.workSurfaces[static_cast<size_t>(index)];
    return surface ? surface->pixels.data() : nullptr;
}
