// The frame's size: chosen at start-up from how the frame meets the screen (ScreenMode), and
// followed while the window changes size. SetFrameSize is the one place it changes: the
// display's surfaces and the view follow it there, and so must anything else sized with the
// frame.
#pragma once

#include <cstdint>

#include "app/viewer.h"
#include "platform/win32.h"

// Before the window is made: where to make it. Desktop: at (0, 0), as large as the screen
// (GetSystemMetrics), which becomes the frame's size. Otherwise at the system's choice
// (CW_USEDEFAULT), frameWidth x frameHeight.
void PlaceWindow(ViewerState& state, int& x, int& y);

// After the window is made and shown: in Desktop and Window modes the frame takes the size
// the window's drawable area was given (GetClientRect), which may not be the size asked for.
void TakeWindowSize(ViewerState& state);

// Takes the display for the frame: InitDisplay, switching the screen's mode, in Switch mode;
// InitDisplayKeepingMode otherwise.
void OpenDisplay(ViewerState& state);

// WM_SIZE: notes the window's new size (lParam) for the next tick and returns true; a
// minimised window (no size) is not noted. False, and nothing noted, in Switch mode, whose
// frame keeps its size whatever the window does.
bool NoteWindowSize(ViewerState& state, WPARAM kind, LPARAM size);

// At the start of a tick: the last size noted since the tick before becomes the frame's.
// Allocates nothing unless the size changed.
void FollowWindowSize(ViewerState& state);

// The frame becomes width x height (each at least 1): the display's surfaces are made anew
// at that size (ResizeDisplay), and a fit view that input has not moved since it started is
// framed again for it (the camera and fixed views only take the new size). Allocates.
void SetFrameSize(ViewerState& state, int32_t width, int32_t height);
