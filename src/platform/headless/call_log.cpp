// The headless backend's calls: each logged with its arguments and result, the DirectDraw
// ones with results that tests may choose, all made through to the emulation.
#include "platform/headless/call_log.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <optional>

#include "platform/emulation.h"
#include "platform/surface_rules.h"

namespace {

struct CallLogState {
    std::array<std::deque<HRESULT>, static_cast<size_t>(HeadlessCall::Count)> queued;
    std::array<std::optional<HRESULT>, static_cast<size_t>(HeadlessCall::Count)> always;
    DWORD pixelBits = 32;
    bool logEnabled = false;
    std::vector<std::string> log;
};

CallLogState calls;

const PlatformCalls& Emulated() {
    return EmulatedCalls();
}

__attribute__((format(printf, 1, 2))) void LogLine(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    calls.log.emplace_back(line);
}

// One line of the call log. The arguments are evaluated only while logging is on, so the
// calls made every frame spend nothing on naming handles and results.
#define LOG_CALL(...)                               \
    do {                                            \
        if (calls.logEnabled) LogLine(__VA_ARGS__); \
    } while (0)

// A name short enough to live in the expression that logs it.
struct Name {
    char text[16];
};

// Handle and pointer arguments are logged by role, so tests can compare plain text.
Name HandleName(const void* handle) {
    Name name = {"unknown"};
    const EmulationState& e = emulation;
    if (handle == nullptr) return {"null"};
    if (handle == &e.window) return {"window"};
    if (handle == &e.instance) return {"instance"};
    if (handle == &e.icon) return {"icon"};
    if (handle == &e.cursor) return {"cursor"};
    if (handle == &e.brush) return {"brush"};
    if (handle == e.directDraw) return {"directDraw"};
    for (const EmulatedSurface* surface : e.surfaces) {
        if (handle != surface) continue;
        switch (surface->role) {
            case SurfaceRole::Primary:
                return {"primary"};
            case SurfaceRole::BackBuffer:
                return {"backbuffer"};
            case SurfaceRole::Work:
                std::snprintf(name.text, sizeof name.text, "work%d", surface->workNumber);
                return name;
        }
    }
    return name;
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
        case WM_SIZE:
            return "WM_SIZE";
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
    if (!calls.queued[index].empty()) {
        HRESULT result = calls.queued[index].front();
        calls.queued[index].pop_front();
        if (result == DD_OK) return std::nullopt;
        return result;
    }
    return calls.always[index];
}

// --- Win32 -------------------------------------------------------------------------------

HMODULE LoggedGetModuleHandle(LPCSTR moduleName) {
    LOG_CALL("GetModuleHandleA(%s)", moduleName ? moduleName : "null");
    return Emulated().getModuleHandle(moduleName);
}

HICON LoggedLoadIcon(HINSTANCE instance, LPCSTR iconName) {
    char resource[32];
    ResourceName(iconName, resource);
    LOG_CALL("LoadIconA(%s, %s)", HandleName(instance).text, resource);
    return Emulated().loadIcon(instance, iconName);
}

HCURSOR LoggedLoadCursor(HINSTANCE instance, LPCSTR cursorName) {
    char resource[32];
    ResourceName(cursorName, resource);
    LOG_CALL("LoadCursorA(%s, %s)", HandleName(instance).text, resource);
    return Emulated().loadCursor(instance, cursorName);
}

HGDIOBJ LoggedGetStockObject(int object) {
    LOG_CALL("GetStockObject(%d)", object);
    return Emulated().getStockObject(object);
}

ATOM LoggedRegisterClassEx(const WNDCLASSEXA* windowClass) {
    const ATOM atom = Emulated().registerClassEx(windowClass);
    if (atom == 0) {
        LOG_CALL("RegisterClassExA(invalid) -> 0");
    } else {
        LOG_CALL("RegisterClassExA(\"%s\") -> %u", emulation.className, atom);
    }
    return atom;
}

HWND LoggedCreateWindowEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                          LPVOID param) {
    char xText[16];
    char yText[16];
    std::snprintf(xText, sizeof xText, "%d", x);
    std::snprintf(yText, sizeof yText, "%d", y);
    HWND window = Emulated().createWindowEx(exStyle, className, windowName, style, x, y, width,
                                            height, parent, menu, instance, param);
    LOG_CALL("CreateWindowExA(0x%X, \"%s\", \"%s\", 0x%X, %s, %s, %d, %d, %s, %s, %s, %s) -> %s",
             exStyle, className ? className : "", windowName ? windowName : "", style,
             x == CW_USEDEFAULT ? "CW_USEDEFAULT" : xText,
             y == CW_USEDEFAULT ? "CW_USEDEFAULT" : yText, width, height, HandleName(parent).text,
             HandleName(menu).text, HandleName(instance).text, param ? "param" : "null",
             HandleName(window).text);
    return window;
}

BOOL LoggedShowWindow(HWND window, int showCommand) {
    LOG_CALL("ShowWindow(%s, %d)", HandleName(window).text, showCommand);
    return Emulated().showWindow(window, showCommand);
}

BOOL LoggedUpdateWindow(HWND window) {
    LOG_CALL("UpdateWindow(%s)", HandleName(window).text);
    return Emulated().updateWindow(window);
}

BOOL LoggedDestroyWindow(HWND window) {
    LOG_CALL("DestroyWindow(%s)", HandleName(window).text);
    return Emulated().destroyWindow(window);
}

int LoggedShowCursor(BOOL show) {
    const int count = Emulated().showCursor(show);
    LOG_CALL("ShowCursor(%d) -> %d", show, count);
    return count;
}

UINT_PTR LoggedSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
    LOG_CALL("SetTimer(%s, %lu, %u, %s)", HandleName(window).text, static_cast<unsigned long>(id),
             elapse, timerProc ? "proc" : "null");
    return Emulated().setTimer(window, id, elapse, timerProc);
}

BOOL LoggedGetMessage(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    // A quit message not posted is the end of the script.
    const bool quitPosted = emulation.quitPosted;
    const BOOL result = Emulated().getMessage(message, window, filterMin, filterMax);
    char name[16];
    if (result) {
        LOG_CALL("GetMessageA(%s, %u, %u) -> 1: %s", HandleName(window).text, filterMin, filterMax,
                 MessageName(message->message, name));
    } else {
        LOG_CALL("GetMessageA(%s, %u, %u) -> 0: WM_QUIT%s", HandleName(window).text, filterMin,
                 filterMax, quitPosted ? "" : " (script ended)");
    }
    return result;
}

BOOL LoggedTranslateMessage(const MSG* message) {
    char name[16];
    LOG_CALL("TranslateMessage(%s)", message ? MessageName(message->message, name) : "null");
    return Emulated().translateMessage(message);
}

LRESULT LoggedDispatchMessage(const MSG* message) {
    char name[16];
    LOG_CALL("DispatchMessageA(%s)", message ? MessageName(message->message, name) : "null");
    return Emulated().dispatchMessage(message);
}

LRESULT LoggedDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char name[16];
    LOG_CALL("DefWindowProcA(%s, %s, %lu, %ld)", HandleName(window).text,
             MessageName(message, name), static_cast<unsigned long>(wParam),
             static_cast<long>(lParam));
    return Emulated().defWindowProc(window, message, wParam, lParam);
}

LRESULT LoggedSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    char name[16];
    LOG_CALL("SendMessageA(%s, %s, %lu, %ld)", HandleName(window).text, MessageName(message, name),
             static_cast<unsigned long>(wParam), static_cast<long>(lParam));
    return Emulated().sendMessage(window, message, wParam, lParam);
}

void LoggedPostQuitMessage(int exitCode) {
    LOG_CALL("PostQuitMessage(%d)", exitCode);
    Emulated().postQuitMessage(exitCode);
}

BOOL LoggedSetWindowText(HWND window, LPCSTR text) {
    LOG_CALL("SetWindowTextA(%s, \"%s\")", HandleName(window).text, text ? text : "");
    return Emulated().setWindowText(window, text);
}

BOOL LoggedGetClientRect(HWND window, LPRECT rect) {
    const BOOL result = Emulated().getClientRect(window, rect);
    LOG_CALL("GetClientRect(%s, out) -> %d: %ldx%ld", HandleName(window).text, result,
             result ? static_cast<long>(rect->right) : 0L,
             result ? static_cast<long>(rect->bottom) : 0L);
    return result;
}

int LoggedGetSystemMetrics(int index) {
    const int result = Emulated().getSystemMetrics(index);
    LOG_CALL("GetSystemMetrics(%d) -> %d", index, result);
    return result;
}

void LoggedDragAcceptFiles(HWND window, BOOL accept) {
    LOG_CALL("DragAcceptFiles(%s, %d)", HandleName(window).text, accept);
    Emulated().dragAcceptFiles(window, accept);
}

bool IsLiveDrop(HDROP drop) {
    for (const auto& record : emulation.drops) {
        if (record.get() == drop) return record->live;
    }
    return false;
}

// Not logged: the shell asks once for the count and twice for each name.
UINT LoggedDragQueryFile(HDROP drop, UINT index, LPSTR name, UINT size) {
    return Emulated().dragQueryFile(drop, index, name, size);
}

void LoggedDragFinish(HDROP drop) {
    LOG_CALL("DragFinish(%s)", IsLiveDrop(drop) ? "drop" : "unknown");
    Emulated().dragFinish(drop);
}

// --- DirectDraw --------------------------------------------------------------------------

HRESULT LoggedDirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer) {
    char resultName[16];
    HRESULT result;
    if (auto chosen = TakeChosenResult(HeadlessCall::DirectDrawCreate)) {
        result = *chosen;
        if (directDraw) *directDraw = nullptr;
    } else {
        result = Emulated().directDrawCreate(guid, directDraw, outer);
    }
    LOG_CALL("DirectDrawCreate(%s, out, %s) -> %s", guid ? "guid" : "null", HandleName(outer).text,
             ResultName(result, resultName));
    return result;
}

ULONG LoggedReleaseDirectDraw(EmulatedDirectDraw& directDraw) {
    LOG_CALL("Release(directDraw)");
    return Emulated().releaseDirectDraw(directDraw);
}

HRESULT LoggedSetCooperativeLevel(EmulatedDirectDraw& directDraw, HWND window, DWORD flags) {
    char resultName[16];
    auto chosen = TakeChosenResult(HeadlessCall::SetCooperativeLevel);
    HRESULT result = chosen ? *chosen : Emulated().setCooperativeLevel(directDraw, window, flags);
    LOG_CALL("SetCooperativeLevel(%s, 0x%X) -> %s", HandleName(window).text, flags,
             ResultName(result, resultName));
    return result;
}

HRESULT LoggedSetDisplayMode(EmulatedDirectDraw& directDraw, DWORD width, DWORD height, DWORD bpp) {
    char resultName[16];
    auto chosen = TakeChosenResult(HeadlessCall::SetDisplayMode);
    HRESULT result = chosen ? *chosen : Emulated().setDisplayMode(directDraw, width, height, bpp);
    LOG_CALL("SetDisplayMode(%u, %u, %u) -> %s", width, height, bpp,
             ResultName(result, resultName));
    return result;
}

HRESULT LoggedCreateSurface(EmulatedDirectDraw& directDraw, LPDDSURFACEDESC desc,
                            LPDIRECTDRAWSURFACE* surface, IUnknown* outer) {
    char resultName[16];
    char descText[160] = "null";
    if (desc && calls.logEnabled) {
        std::snprintf(descText, sizeof descText,
                      "{size=%u flags=0x%X width=%u height=%u backbuffers=%u caps=0x%X}",
                      desc->dwSize, desc->dwFlags, desc->dwWidth, desc->dwHeight,
                      desc->dwBackBufferCount, desc->ddsCaps.dwCaps);
    }
    HRESULT result;
    if (auto chosen = TakeChosenResult(HeadlessCall::CreateSurface)) {
        result = *chosen;
        if (surface) *surface = nullptr;
    } else {
        result = Emulated().createSurface(directDraw, desc, surface, outer);
    }
    const void* created = result == DD_OK && surface ? *surface : nullptr;
    LOG_CALL("CreateSurface(%s, out, %s) -> %s%s%s", descText, HandleName(outer).text,
             ResultName(result, resultName), created ? ": " : "",
             created ? HandleName(created).text : "");
    return result;
}

ULONG LoggedReleaseSurface(EmulatedSurface& surface) {
    LOG_CALL("Release(%s)", HandleName(&surface).text);
    return Emulated().releaseSurface(surface);
}

HRESULT LoggedGetAttachedSurface(EmulatedSurface& surface, LPDDSCAPS caps,
                                 LPDIRECTDRAWSURFACE* attached) {
    char resultName[16];
    HRESULT result;
    if (auto chosen = TakeChosenResult(HeadlessCall::GetAttachedSurface)) {
        result = *chosen;
        if (attached) *attached = nullptr;
    } else {
        result = Emulated().getAttachedSurface(surface, caps, attached);
    }
    const void* found = result == DD_OK && attached ? *attached : nullptr;
    LOG_CALL("GetAttachedSurface(%s, 0x%X, out) -> %s%s%s", HandleName(&surface).text,
             caps ? caps->dwCaps : 0u, ResultName(result, resultName), found ? ": " : "",
             found ? HandleName(found).text : "");
    return result;
}

HRESULT LoggedLock(EmulatedSurface& surface, LPRECT rect, LPDDSURFACEDESC desc, DWORD flags,
                   HANDLE event) {
    char resultName[16];
    auto chosen = TakeChosenResult(HeadlessCall::Lock);
    HRESULT result = chosen ? *chosen : Emulated().lock(surface, rect, desc, flags, event);
    if (!chosen && result == DD_OK && calls.pixelBits != 32) {
        // The surface described as the chosen pixel format would lay it out.
        DescribeLockedSurface(*desc, surface.width, surface.height, calls.pixelBits,
                              surface.pixels.data(), surface.surfaceCaps);
    }
    LOG_CALL("Lock(%s, %s, {size=%u}, 0x%X, %s) -> %s", HandleName(&surface).text,
             rect ? "rect" : "null", desc ? desc->dwSize : 0u, flags, HandleName(event).text,
             ResultName(result, resultName));
    return result;
}

HRESULT LoggedUnlock(EmulatedSurface& surface, LPVOID data) {
    char resultName[16];
    const HRESULT result = Emulated().unlock(surface, data);
    LOG_CALL("Unlock(%s, %s) -> %s", HandleName(&surface).text, data ? "data" : "null",
             ResultName(result, resultName));
    return result;
}

HRESULT LoggedBltFast(EmulatedSurface& surface, DWORD x, DWORD y, LPDIRECTDRAWSURFACE source,
                      LPRECT sourceRect, DWORD flags) {
    char resultName[16];
    char rectText[64] = "null";
    if (sourceRect && calls.logEnabled) {
        std::snprintf(rectText, sizeof rectText, "{%d, %d, %d, %d}", sourceRect->left,
                      sourceRect->top, sourceRect->right, sourceRect->bottom);
    }
    auto chosen = TakeChosenResult(HeadlessCall::BltFast);
    HRESULT result =
        chosen ? *chosen : Emulated().bltFast(surface, x, y, source, sourceRect, flags);
    LOG_CALL("BltFast(%s, %u, %u, %s, %s, 0x%X) -> %s", HandleName(&surface).text, x, y,
             HandleName(source).text, rectText, flags, ResultName(result, resultName));
    return result;
}

HRESULT LoggedFlip(EmulatedSurface& surface, LPDIRECTDRAWSURFACE target, DWORD flags) {
    char resultName[16];
    auto chosen = TakeChosenResult(HeadlessCall::Flip);
    HRESULT result = chosen ? *chosen : Emulated().flip(surface, target, flags);
    LOG_CALL("Flip(%s, %s, 0x%X) -> %s", HandleName(&surface).text, HandleName(target).text, flags,
             ResultName(result, resultName));
    return result;
}

HRESULT LoggedRestore(EmulatedSurface& surface) {
    char resultName[16];
    auto chosen = TakeChosenResult(HeadlessCall::Restore);
    HRESULT result = chosen ? *chosen : Emulated().restore(surface);
    LOG_CALL("Restore(%s) -> %s", HandleName(&surface).text, ResultName(result, resultName));
    return result;
}

const PlatformCalls loggedCalls = {
    LoggedGetModuleHandle,
    LoggedLoadIcon,
    LoggedLoadCursor,
    LoggedGetStockObject,
    LoggedRegisterClassEx,
    LoggedCreateWindowEx,
    LoggedShowWindow,
    LoggedUpdateWindow,
    LoggedDestroyWindow,
    LoggedShowCursor,
    LoggedSetTimer,
    LoggedGetMessage,
    LoggedTranslateMessage,
    LoggedDispatchMessage,
    LoggedDefWindowProc,
    LoggedSendMessage,
    LoggedPostQuitMessage,
    LoggedSetWindowText,
    LoggedGetClientRect,
    LoggedGetSystemMetrics,
    LoggedDragAcceptFiles,
    LoggedDragQueryFile,
    LoggedDragFinish,
    LoggedDirectDrawCreate,
    LoggedReleaseDirectDraw,
    LoggedSetCooperativeLevel,
    LoggedSetDisplayMode,
    LoggedCreateSurface,
    LoggedReleaseSurface,
    LoggedBltFast,
    LoggedFlip,
    LoggedGetAttachedSurface,
    LoggedLock,
    LoggedRestore,
    LoggedUnlock,
};

}  // namespace

void UseHeadlessCalls() {
    SetPlatformCalls(&loggedCalls);
}

void ResetHeadlessCalls() {
    for (auto& queue : calls.queued)
        queue.clear();
    for (auto& result : calls.always)
        result.reset();
    calls.pixelBits = 32;
    calls.logEnabled = false;
    calls.log.clear();
}

void HeadlessQueueResults(HeadlessCall call, std::initializer_list<HRESULT> results) {
    auto& queue = calls.queued[static_cast<size_t>(call)];
    queue.insert(queue.end(), results.begin(), results.end());
}

void HeadlessFailAlways(HeadlessCall call, HRESULT result) {
    calls.always[static_cast<size_t>(call)] = result;
}

void HeadlessSetPixelBits(DWORD bits) {
    calls.pixelBits = bits;
}

void HeadlessEnableLog(bool enable) {
    calls.logEnabled = enable;
}

const std::vector<std::string>& HeadlessCallLog() {
    return calls.log;
}

void HeadlessClearLog() {
    calls.log.clear();
}
