// The headless platform backend: the emulated window and DirectDraw surfaces with nothing
// native under them.
//
// Messages come from a script (timer ticks and key presses); when the script is used up the
// window is closed, so every run ends. Each flip hands the presented frame to a callback.
// For tests its calls are logged and their results can be chosen (call_log.h).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/headless/call_log.h"

// Receives the primary surface after each successful flip: width x height pixels, rows
// exactly width apart. The pixels are valid only during the call.
using HeadlessFrameCallback = void (*)(const uint32_t* pixels, int32_t width, int32_t height,
                                       void* user);

// Releases every window, surface and DirectDraw object the emulation still holds, and clears
// the script, the chosen results, the log, the callback and the pixel format.
void ResetHeadlessBackend();

// Resets the backend and makes it the active one, its calls logged and their results
// choosable (call_log.h).
void UseHeadlessBackend();

// Appends `ticks` WM_TIMER messages to the script (delivered only while a timer is set).
// A run of ticks is held as one count, so it takes no memory per tick and is delivered
// without allocating or freeing.
void HeadlessScriptTicks(int32_t ticks);
// Appends one WM_KEYDOWN message with the virtual-key code `key`.
void HeadlessScriptKey(WPARAM key);
// Appends any message for the window.
void HeadlessScriptMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Appends the window's resize to width x height (1 to 65535 each), as a backend reports it:
// GetClientRect gives the new size and WM_SIZE is queued.
void HeadlessScriptResize(int32_t width, int32_t height);
// The screen's size (GetSystemMetrics); kHeadlessScreenWidth x kHeadlessScreenHeight after a
// reset.
inline constexpr int32_t kHeadlessScreenWidth = 640;
inline constexpr int32_t kHeadlessScreenHeight = 480;
void HeadlessSetScreenSize(int32_t width, int32_t height);
// Appends one WM_CHAR message with the character `character`.
void HeadlessScriptChar(char character);
// Appends one mouse message (WM_MOUSEMOVE, WM_LBUTTONDOWN, ...) at client position (x, y)
// with the buttons and keys `keys` (MK_LBUTTON, MK_SHIFT, ...) held.
void HeadlessScriptMouse(UINT message, int x, int y, WPARAM keys);
// Appends one WM_MOUSEWHEEL message turning the wheel by `delta` (WHEEL_DELTA per notch,
// positive away from the user) with `keys` held.
void HeadlessScriptWheel(int delta, WPARAM keys);
// Appends one WM_DROPFILES message carrying the files `names`. Like the real system, it is
// delivered only while the window accepts files (DragAcceptFiles); the HDROP stays valid
// until DragFinish or the next reset.
void HeadlessScriptDrop(std::initializer_list<const char*> names);

void HeadlessSetFrameCallback(HeadlessFrameCallback callback, void* user);

// What the backend's quitPending reports from now on: whether a request to end the run (a
// window's close button, Escape) waits natively while a frame is drawn. Off after a reset.
// The script's own messages are never reported: a run's last scripted Escape must not cut
// short the frame before it.
void HeadlessSetQuitPending(bool pending);

// Called by GetMessageA each time it hands out a message of the script (or the WM_CLOSE that
// ends a used-up script), before the message is dispatched and after everything the previous
// message started has finished: between two ticks. `ticks` counts the WM_TIMER messages
// handed out before this one. The hook may queue results, change the pixel format or read
// the counters below; it is how tests switch faults on at chosen ticks.
using HeadlessMessageHook = void (*)(UINT message, int32_t ticks, void* user);
void HeadlessSetMessageHook(HeadlessMessageHook hook, void* user);

// What the backend knows, for tests.
int32_t HeadlessLockedSurfaceCount();  // surfaces locked right now
int32_t HeadlessLiveSurfaceCount();    // surfaces created and not yet released
bool HeadlessDirectDrawLive();         // a DirectDraw object exists and is not released
int32_t HeadlessCursorCount();         // ShowCursor's display counter (0 = visible)
int32_t HeadlessFramesPresented();
bool HeadlessWindowAlive();
HWND HeadlessWindow();                     // the one window's handle (whether alive or not)
const std::string& HeadlessWindowTitle();  // the text of the last SetWindowTextA
bool HeadlessAcceptsFiles();               // DragAcceptFiles(window, TRUE) is in effect
int32_t HeadlessOpenDropCount();           // drops handed out and not yet finished
const WNDCLASSEXA& HeadlessRegisteredClass();
// Pixels of the work surface created `index`-th (0 = first); null if there is none.
const uint32_t* HeadlessWorkSurfacePixels(int32_t index);
