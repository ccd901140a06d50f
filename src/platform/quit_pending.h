// Whether the run is being asked to end while the program is busy: a close of the window, a
// quit, or the Escape key waiting in the window's input, looked at without taking any of it
// from the queue. The frame renderer asks (through frame_stop.h) between blocks of a long
// frame, so that such a frame stops at once and the message loop then sees the request.
#pragma once

// True when such a request waits. Cheap enough for every 10 ms; on the thread that owns the
// window. False with a backend that cannot tell.
bool PlatformQuitPending();
