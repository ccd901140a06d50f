// The program's side of the SDL backend module (see sdl_module.h): loaded when the viewer
// opens its window, never by runs that open none.
//
// The module is looked for beside the program (the build tree) and then in the installed
// layout's module directory (TRELLIS_MODULE_DIR, relative to the program's directory, e.g.
// ../lib/trellis). It stays loaded until the process ends.
#pragma once

#include <string>

#include "platform/backend.h"

// Loads the module and opens SDL's video (OpenSdlBackend), reporting to the emulation. False,
// with one line of reason in `error`, when the module cannot be loaded ("cannot load PATH:
// reason") or no display can be opened.
bool OpenSdlModule(bool windowed, std::string& error);

// The module's native calls, for SetPlatformBackend; only after OpenSdlModule succeeded.
const PlatformBackend& SdlModuleBackend();

// CloseSdlBackend, when OpenSdlModule succeeded; otherwise nothing.
void CloseSdlModule();
