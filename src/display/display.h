// The display: exclusive full-screen mode, a flipping primary surface with one back buffer,
// and two system-memory work surfaces that alternate frame by frame.
//
// Calling order: InitDisplay once; per frame LockFrame and, only when it returned 1, one
// PresentFrame; ShutdownDisplay once at the end. Only the GUI thread calls in.
#pragma once

#include <cstdint>

#include "platform/ddraw.h"
#include "platform/win32.h"

struct DisplayContext {
    LPDIRECTDRAW directDraw;             // null: nothing created (ShutdownDisplay tests this)
    LPDIRECTDRAWSURFACE primarySurface;  // head of a flipping chain with one back buffer
    LPDIRECTDRAWSURFACE backBuffer;      // belongs to the primary's chain; never released alone
    LPDIRECTDRAWSURFACE workSurfaceA;    // system memory, displayWidth x displayHeight
    LPDIRECTDRAWSURFACE workSurfaceB;    // the same kind and size
    int32_t displayWidth;
    int32_t displayHeight;
    DDSURFACEDESC surfaceDesc;  // the request for every CreateSurface and the record of every Lock
    int32_t useWorkSurfaceA;    // nonzero: this frame uses workSurfaceA; 0 (initially): B
};

// The display's module state; every pointer null and every number 0 at process start.
extern DisplayContext displayContext;

// Takes the display for `window` at width x height, 32 bits per pixel, and creates the
// surfaces. Stops silently at the first failing step, keeping what it created.
void InitDisplay(HWND window, int32_t width, int32_t height);

// As InitDisplay, but the screen keeps its own mode (no SetDisplayMode): the primary surface
// is the screen as it is (the desktop's full-screen window, or a window standing for the
// screen), which must be width x height, the size of the frames drawn.
void InitDisplayKeepingMode(HWND window, int32_t width, int32_t height);

// After the screen (the window) became width x height: releases the surfaces and creates
// them anew at that size, as InitDisplay does, stopping silently at the first
// that fails (LockFrame then returns 0). Call it between frames, never while one is
// locked. Does nothing when no DirectDraw object exists.
void ResizeDisplay(int32_t width, int32_t height);

// Locks the current work surface and stores the address of its first pixel in *pixels:
// displayWidth x displayHeight pixels 0x00RRGGBB, rows exactly displayWidth apart.
// Returns 1 when a frame is locked, 0 when not (*pixels unchanged, nothing left locked).
// Returns 0 whenever InitDisplay did not create every surface.
int32_t LockFrame(uint32_t** pixels);

// Unlocks the frame of the last LockFrame, copies it onto the back buffer and flips,
// retrying at once while busy and restoring lost surfaces; the next frame uses the other
// work surface.
void PresentFrame();

// Restores the primary (with its back buffer) and both work surfaces. DD_OK when all three
// succeeded, otherwise the result of the first that failed.
HRESULT RestoreSurfaces();

// Releases whatever InitDisplay created, primary first and the DirectDraw object last.
// Safe in every partial state and when called twice.
void ShutdownDisplay();

// Zeroes displayContext without releasing anything (tests start each case from here).
void ResetDisplayContext();
