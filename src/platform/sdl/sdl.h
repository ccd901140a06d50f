// The SDL2 platform backend: a real window, the keyboard and mouse, dropped files, the timer
// and the screen.
//
// Full screen by default. A display mode set switches the screen to the requested mode where
// the display has it; otherwise the window covers the desktop and the frame is scaled with
// nearest-neighbour sampling at its exact aspect (black bars fill the rest). A pop-up window
// as large as the screen at (0, 0) is full screen at the desktop's own mode, unchanged.
// Windowed: a plain window of the requested size that the user may resize; its new size is
// reported (PlatformEvents::resized). Either way a frame that fits the window 1:1 is shown
// pixel for pixel.
#pragma once

#include <string>

#include "platform/backend.h"

// Initialises SDL's video and events; what happens in the window is reported to `events`
// (which must outlive the backend). False, with SDL's reason in `error`, when no display can
// be opened at all.
bool OpenSdlBackend(bool windowed, const PlatformEvents& events, std::string& error);

// The backend's native calls, for SetPlatformBackend.
const PlatformBackend& SdlBackend();

// Destroys whatever the backend still holds (window, renderer) and shuts SDL down.
void CloseSdlBackend();
