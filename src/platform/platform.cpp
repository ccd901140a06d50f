// The Win32 and DirectDraw functions of win32.h and ddraw.h, made through the calls in front
// of the emulation (emulation.h) over the active backend. Without a backend every call fails
// the way the real API fails on a bad handle.
#include "platform/backend.h"
#include "platform/emulation.h"
#include "platform/quit_pending.h"

namespace {
const PlatformBackend* activeBackend = nullptr;
}  // namespace

void SetPlatformBackend(const PlatformBackend* backend) {
    activeBackend = backend;
    SetPlatformCalls(nullptr);
}

const PlatformBackend* ActivePlatformBackend() {
    return activeBackend;
}

// The emulation's queue holds nothing during a frame (a timer message comes only when nothing
// else waits), so what the backend has not yet taken in is all there is to look at.
bool PlatformQuitPending() {
    return activeBackend != nullptr && activeBackend->quitPending != nullptr &&
           activeBackend->quitPending();
}

namespace {

// The calls to make, or null while there is no backend.
const PlatformCalls* Calls() {
    return activeBackend ? &ActivePlatformCalls() : nullptr;
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->getModuleHandle(lpModuleName) : nullptr;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->loadIcon(hInstance, lpIconName) : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->loadCursor(hInstance, lpCursorName) : nullptr;
}

HGDIOBJ WINAPI GetStockObject(int i) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->getStockObject(i) : nullptr;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->registerClassEx(lpwcx) : ATOM{0};
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    const PlatformCalls* calls = Calls();
    if (!calls) return nullptr;
    return calls->createWindowEx(dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y, nWidth,
                                 nHeight, hWndParent, hMenu, hInstance, lpParam);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->showWindow(hWnd, nCmdShow) : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->updateWindow(hWnd) : FALSE;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->destroyWindow(hWnd) : FALSE;
}

int WINAPI ShowCursor(BOOL bShow) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->showCursor(bShow) : 0;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->setTimer(hWnd, nIDEvent, uElapse, lpTimerFunc) : 0;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    // Without a backend no message can ever arrive. The API's error result (-1) would
    // keep a `while (GetMessageA(...))` loop spinning, so this reports the quit message.
    const PlatformCalls* calls = Calls();
    if (!calls) {
        if (lpMsg) *lpMsg = MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}};
        return FALSE;
    }
    return calls->getMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax);
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->translateMessage(lpMsg) : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->dispatchMessage(lpMsg) : 0;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->defWindowProc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->sendMessage(hWnd, Msg, wParam, lParam) : 0;
}

void WINAPI PostQuitMessage(int nExitCode) {
    if (const PlatformCalls* calls = Calls()) calls->postQuitMessage(nExitCode);
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->setWindowText(hWnd, lpString) : FALSE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->getClientRect(hWnd, lpRect) : FALSE;
}

int WINAPI GetSystemMetrics(int nIndex) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->getSystemMetrics(nIndex) : 0;
}

void WINAPI DragAcceptFiles(HWND hWnd, BOOL fAccept) {
    if (const PlatformCalls* calls = Calls()) calls->dragAcceptFiles(hWnd, fAccept);
}

UINT WINAPI DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch) {
    const PlatformCalls* calls = Calls();
    return calls ? calls->dragQueryFile(hDrop, iFile, lpszFile, cch) : 0;
}

void WINAPI DragFinish(HDROP hDrop) {
    if (const PlatformCalls* calls = Calls()) calls->dragFinish(hDrop);
}

HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter) {
    const PlatformCalls* calls = Calls();
    if (!calls) {
        if (lplpDD) *lplpDD = nullptr;
        return DDERR_NODIRECTDRAWHW;
    }
    return calls->directDrawCreate(lpGUID, lplpDD, pUnkOuter);
}
