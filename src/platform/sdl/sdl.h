// The SDL2 platform backend: a real window, the keyboard, timers and the screen.
//
// Full screen by default: SetDisplayMode switches the screen to the requested mode where the
// display has it; otherwise the window covers the desktop and the frame is scaled with
// nearest-neighbour sampling at its exact aspect (black bars fill the rest). Windowed: a
// plain window of the requested size. Either way a frame that fits the screen 1:1 is shown
// pixel for pixel.
#pragma once

#include <string>

#include "platform/backend.h"

// Initialises SDL's video, timer and events. False, with SDL's reason in `error`, when no
// display can be opened at all.
bool OpenSdlBackend(bool windowed, std::string& error);

// The backend's function table, for SetPlatformBackend.
const PlatformBackend& SdlBackend();

// Destroys whatever the backend still holds (window, renderer, timer) and shuts SDL down.
void CloseSdlBackend();
