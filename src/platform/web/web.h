// The browser backend: the emulated window over a web page, its frames on one
// <canvas id="canvas"> (emscripten builds only).
//
// The frame is put on the canvas with putImageData at each flip. Ticks are paced by the
// page's animation frames: one WM_TIMER per 20 ms elapsed. The canvas's mouse buttons,
// moves and wheel (and fingers on a touch screen, as mouse drags and the wheel) and the
// page's keys become the same WM_* messages as on the desktop;
// files dropped on the page or picked with its file input are written into the in-memory
// file system and handed over as one WM_DROPFILES. GetMessageA waits (asyncify) until a
// message is there, so the shell's own blocking message loop runs unchanged.
#pragma once

#include "platform/backend.h"

// The backend's native calls, for SetPlatformBackend.
const PlatformBackend& WebBackend();

// Called by the page's script (exported): `path`, a file already in the in-memory file
// system, joins the drop being gathered; WebPostDrop then hands the gathered files to the
// window as one WM_DROPFILES. Files outside a drop accepted by the window are let go.
extern "C" void WebAddDroppedFile(const char* path);
extern "C" void WebPostDrop();

// Called by the page's script (exported) when the canvas is shown at width x height CSS
// pixels: the window's resize, which the frame follows.
extern "C" void WebCanvasResized(int width, int height);

// The number of WM_TIMER messages handed out so far (exported: the page's check reads it).
extern "C" int WebTickCount();
