// The part of the Win32 window and message API that the application shell calls.
//
// On Windows this is the real <windows.h>. Elsewhere the same names, types, values and
// signatures are declared here and implemented by platform.cpp, which forwards each call
// to the backend chosen at run time (SDL for the viewer, headless for image output and
// tests). Only what the shell uses is declared.
#pragma once

#ifdef _WIN32
#include <windows.h>
// After <windows.h>: GET_X_LPARAM and GET_Y_LPARAM, and the dropped-files calls.
#include <shellapi.h>
#include <windowsx.h>
#else

#include <cstdint>

#define WINAPI
#define CALLBACK

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = unsigned int;
using ATOM = WORD;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using LPVOID = void*;
using HANDLE = void*;
using HGDIOBJ = void*;
using LPSTR = char*;
using LPCSTR = const char*;

// Handles are pointers to distinct empty structs, so that one kind cannot be passed
// for another; each backend hands out addresses of objects it owns.
struct HWND__ {
    int unused;
};
struct HINSTANCE__ {
    int unused;
};
struct HICON__ {
    int unused;
};
struct HBRUSH__ {
    int unused;
};
struct HMENU__ {
    int unused;
};
struct HDROP__ {
    int unused;
};
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HICON = HICON__*;
using HCURSOR = HICON;
using HBRUSH = HBRUSH__*;
using HMENU = HMENU__*;
using HDROP = HDROP__*;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void(CALLBACK*)(HWND, UINT, UINT_PTR, DWORD);

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

// Messages.
constexpr UINT WM_DESTROY = 0x0002;
// The window's client area changed size: wParam says how (SIZE_RESTORED, ...), lParam holds
// the new width in its low word and height in its high word.
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_DROPFILES = 0x0233;

// Mouse messages: the buttons and modifier keys held, in wParam (the wheel's in its low
// word) ...
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
// ... the wheel's turn in wParam's high word, signed, in units of WHEEL_DELTA per notch
// (positive: away from the user) ...
constexpr int WHEEL_DELTA = 120;
// ... and the pointer's position in lParam: x in the low word, y in the high word, each a
// signed 16-bit number (client coordinates; screen coordinates for the wheel).
#define LOWORD(l) (static_cast<WORD>(static_cast<UINT_PTR>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<UINT_PTR>(l) >> 16) & 0xFFFF))
#define MAKELPARAM(l, h)                                                       \
    (static_cast<LPARAM>(static_cast<DWORD>((static_cast<DWORD>(l) & 0xFFFF) | \
                                            ((static_cast<DWORD>(h) & 0xFFFF) << 16))))
#define MAKEWPARAM(l, h)                                                       \
    (static_cast<WPARAM>(static_cast<DWORD>((static_cast<DWORD>(l) & 0xFFFF) | \
                                            ((static_cast<DWORD>(h) & 0xFFFF) << 16))))
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<short>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<short>(HIWORD(lp))))
#define GET_WHEEL_DELTA_WPARAM(wp) (static_cast<short>(HIWORD(wp)))
#define GET_KEYSTATE_WPARAM(wp) (LOWORD(wp))

// Virtual-key codes (letters and digits are their upper-case ASCII codes).
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_F1 = 0x70;
constexpr int VK_F12 = 0x7B;

// WM_SIZE's wParam: resized, or minimised (the client area then has no size).
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
// GetSystemMetrics: the width and height of the screen in pixels (its current mode).
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
// Window and class styles, placement and show commands.
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWDEFAULT = 10;

// Stock objects and system resources.
constexpr int WHITE_BRUSH = 0;
inline const LPCSTR IDI_APPLICATION = reinterpret_cast<LPCSTR>(uintptr_t{32512});
inline const LPCSTR IDC_ARROW = reinterpret_cast<LPCSTR>(uintptr_t{32512});

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
HGDIOBJ WINAPI GetStockObject(int i);
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx);
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI UpdateWindow(HWND hWnd);
BOOL WINAPI DestroyWindow(HWND hWnd);
int WINAPI ShowCursor(BOOL bShow);
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int nExitCode);
BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString);
// The window's client area: left and top 0, right and bottom its width and height.
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);
int WINAPI GetSystemMetrics(int nIndex);

// Files dropped on the window (shellapi): a window that accepts them receives WM_DROPFILES
// with an HDROP in wParam; DragQueryFileA with index 0xFFFFFFFF gives their count, with an
// index the length of that name (without its NUL) and, given a buffer, copies as much as
// fits, NUL-terminated; DragFinish releases the HDROP.
void WINAPI DragAcceptFiles(HWND hWnd, BOOL fAccept);
UINT WINAPI DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch);
void WINAPI DragFinish(HDROP hDrop);

#endif
