// What a platform backend supplies: the native calls under the emulated Win32 and DirectDraw.
//
// The window, its class and handles, the message queue, dropped files and the DirectDraw
// objects over plain memory are the emulation's (emulation.h), written once. Each backend
// (sdl/, headless/, web/) fills one PlatformBackend with its native calls: make, show and
// title the window, show the pointer, pace the timer, wait for events, set the display mode
// and put a frame on the screen. What happens on the native side (keys, the pointer, drops,
// timer ticks, a lost screen) comes back to the emulation through PlatformEvents.
//
// Every call is made on the thread that runs the message loop; none is made from another
// thread, so no backend needs to post across threads.
#pragma once

#include <cstdint>

#include "platform/ddraw.h"
#include "platform/win32.h"

struct PlatformBackend {
    const char* name;

    // --- The window (only one is ever made) ----------------------------------------------
    // Makes the window, hidden, with `title` at (x, y) (CW_USEDEFAULT: the backend's
    // choice) and of width x height; `style` holds WS_POPUP for a window without a frame.
    // A pop-up at (0, 0) as large as the screen (screenSize) is the desktop's full-screen
    // window: it covers the screen at its own mode, which is not changed. When the window's
    // drawable area is not width x height once made, the backend reports its size through
    // PlatformEvents::resized (also from within this call). False when it cannot be made.
    bool (*createWindow)(const char* title, DWORD style, int x, int y, int width, int height);
    // Shows (or with false hides) the window and brings it to the front; true when it was
    // visible before.
    bool (*showWindow)(bool show);
    // The window was destroyed: it disappears from the screen. What it holds natively is
    // freed when the backend closes, since the display may still present into it until then.
    void (*destroyWindow)();
    void (*setTitle)(const char* text);
    // The pointer over the window shown or hidden.
    void (*showPointer)(bool visible);
    // Files dropped on the window are (true) or are no longer (false) taken.
    void (*acceptFiles)(bool accept);

    // --- Time and events -------------------------------------------------------------------
    // Starts (again, from now) or stops the window's timer: a tick owed every `period`
    // milliseconds, reported through PlatformEvents::timerElapsed when it is due.
    void (*startTimer)(UINT period);
    void (*stopTimer)();
    // Waits until something happened: one or more messages posted, a timer tick reported
    // owed, or nothing at all (a spurious wake is allowed). False when no message can ever
    // arrive again (the event source failed or ended); the emulation then ends the loop.
    bool (*waitForEvents)();
    // The time stamp of a message: milliseconds of some clock that only goes forward.
    DWORD (*messageTime)();

    // --- The screen ------------------------------------------------------------------------
    // The screen's size in pixels at its own mode (the desktop's), 1 to kMostScreenSide
    // each; where there is no screen, the size a window would have in its place.
    void (*screenSize)(int32_t* width, int32_t* height);
    // The screen, or the window in its place, becomes width x height at 32 bits a pixel.
    // DD_OK, or a DirectDraw error the emulation passes on.
    HRESULT (*setDisplayMode)(int32_t width, int32_t height);
    // The mode set before is left: the screen gets its own mode back.
    void (*leaveDisplayMode)();
    // Prepares to show frames of width x height and shows black. DD_OK or DDERR_GENERIC.
    HRESULT (*openScreen)(int32_t width, int32_t height);
    // Frees what openScreen prepared.
    void (*closeScreen)();
    // Shows one frame: width x height pixels 0x00RRGGBB, rows exactly width apart, valid
    // only during the call. DD_OK, DDERR_SURFACELOST (see restoreScreen) or DDERR_GENERIC.
    HRESULT (*present)(const uint32_t* pixels, int32_t width, int32_t height);
    // After the screen was reported lost: prepares it anew. DD_OK or DDERR_SURFACELOST.
    HRESULT (*restoreScreen)();

    // --- A long frame ------------------------------------------------------------------------
    // True when the native input holds, not yet taken, a request to end the run: the window's
    // close button, a quit (Ctrl+C) or an Escape press. Only looked at: all of it stays for
    // waitForEvents, in order. Called between blocks of a long frame, at most every 10 ms
    // (platform/quit_pending.h), so that such a frame stops at once. Null when the backend
    // cannot tell.
    bool (*quitPending)();
};

// How a backend reports what happened natively. Each is safe to call at any time while the
// backend is active, on the message loop's thread.
struct PlatformEvents {
    // Queues a message for the window. False (and nothing queued) when there is no live
    // window or the queue is full.
    bool (*post)(UINT message, WPARAM wParam, LPARAM lParam);
    // One timer tick became due. Ticks owed add up to at most `mostOwed` (1 keeps one, as
    // Win32 keeps one timer message however late the loop is); none is owed while no timer
    // runs.
    void (*timerElapsed)(int32_t mostOwed);
    // Queues WM_DROPFILES carrying copies of `names` (count of them). False (and nothing
    // queued) when the window does not take files, there is no live window, or the queue or
    // the store of drops is full.
    bool (*postDrop)(const char* const* names, int32_t count);
    // The screen lost what it showed (a reset display device): copies and flips fail with
    // DDERR_SURFACELOST until the primary surface is restored.
    void (*screenLost)();
    // The window's drawable area is now width x height (1 to kMostScreenSide each): the user
    // resized it, or it was made full screen. Queues WM_SIZE when there is a live window;
    // the size is kept for GetClientRect and for a primary surface made without a display
    // mode either way.
    void (*resized)(int32_t width, int32_t height);
};

// The largest side a backend reports for the screen or the window (a frame of 8192 x 8192
// pixels takes 256 MiB); a larger window shows its frame scaled.
inline constexpr int32_t kMostScreenSide = 8192;

// Makes `backend` (which must outlive its use) the one under every platform call, and the
// emulation's own calls (emulation.h) the ones made for the shell. Null restores the
// initial state, in which every call fails without effect.
void SetPlatformBackend(const PlatformBackend* backend);

// The backend set last, or null.
const PlatformBackend* ActivePlatformBackend();
