// The Win32 and DirectDraw functions of win32.h and ddraw.h, forwarded to the active backend.
// Without a backend every call fails the way the real API fails on a bad handle.
#include "platform/backend.h"
#include "platform/quit_pending.h"

namespace {
const PlatformBackend* activeBackend = nullptr;
}  // namespace

void SetPlatformBackend(const PlatformBackend* backend) {
    activeBackend = backend;
}

const PlatformBackend* ActivePlatformBackend() {
    return activeBackend;
}

bool PlatformQuitPending() {
    return activeBackend != nullptr && activeBackend->peekQuit != nullptr &&
           activeBackend->peekQuit() != FALSE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    return activeBackend ? activeBackend->getModuleHandle(lpModuleName) : nullptr;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    return activeBackend ? activeBackend->loadIcon(hInstance, lpIconName) : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    return activeBackend ? activeBackend->loadCursor(hInstance, lpCursorName) : nullptr;
}

HGDIOBJ WINAPI GetStockObject(int i) {
    return activeBackend ? activeBackend->getStockObject(i) : nullptr;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    return activeBackend ? activeBackend->registerClassEx(lpwcx) : ATOM{0};
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    if (!activeBackend) return nullptr;
    return activeBackend->createWindowEx(dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y,
                                         nWidth, nHeight, hWndParent, hMenu, hInstance, lpParam);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    return activeBackend ? activeBackend->showWindow(hWnd, nCmdShow) : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    return activeBackend ? activeBackend->updateWindow(hWnd) : FALSE;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    return activeBackend ? activeBackend->destroyWindow(hWnd) : FALSE;
}

int WINAPI ShowCursor(BOOL bShow) {
    return activeBackend ? activeBackend->showCursor(bShow) : 0;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    return activeBackend ? activeBackend->setTimer(hWnd, nIDEvent, uElapse, lpTimerFunc) : 0;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    // Without a backend no message can ever arrive. The API's error result (-1) would
    // keep a `while (GetMessageA(...))` loop spinning, so this reports the quit message.
    if (!activeBackend) {
        if (lpMsg) *lpMsg = MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}};
        return FALSE;
    }
    return activeBackend->getMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax);
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    return activeBackend ? activeBackend->translateMessage(lpMsg) : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    return activeBackend ? activeBackend->dispatchMessage(lpMsg) : 0;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return activeBackend ? activeBackend->defWindowProc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return activeBackend ? activeBackend->sendMessage(hWnd, Msg, wParam, lParam) : 0;
}

void WINAPI PostQuitMessage(int nExitCode) {
    if (activeBackend) activeBackend->postQuitMessage(nExitCode);
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    return activeBackend ? activeBackend->setWindowText(hWnd, lpString) : FALSE;
}

void WINAPI DragAcceptFiles(HWND hWnd, BOOL fAccept) {
    if (activeBackend) activeBackend->dragAcceptFiles(hWnd, fAccept);
}

UINT WINAPI DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch) {
    return activeBackend ? activeBackend->dragQueryFile(hDrop, iFile, lpszFile, cch) : 0;
}

void WINAPI DragFinish(HDROP hDrop) {
    if (activeBackend) activeBackend->dragFinish(hDrop);
}

HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter) {
    if (!activeBackend) {
        if (lplpDD) *lplpDD = nullptr;
        return DDERR_NODIRECTDRAWHW;
    }
    return activeBackend->directDrawCreate(lpGUID, lplpDD, pUnkOuter);
}
