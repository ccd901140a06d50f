// The boundary between the program and its SDL backend, which is built as a module of its
// own (trellis-sdl.so) so that only a run that opens a window maps SDL and the display and
// sound libraries SDL brings with it.
//
// The module holds only the backend's native calls (backend.h); the emulated window and
// DirectDraw objects stay in the program, which hands the module its PlatformEvents. The
// module exports one C function, kSdlModuleEntryName, returning its entry points. The program
// checks the layout numbers before it calls any of them: a module left from another build is
// refused instead of called with the wrong tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/backend.h"

// Raised whenever an entry point, PlatformBackend or PlatformEvents changes in a way sizeof
// cannot see.
inline constexpr uint32_t kSdlModuleInterface = 3;

inline constexpr const char* kSdlModuleFileName = "trellis-sdl.so";
inline constexpr const char* kSdlModuleEntryName = "TrellisSdlModule";

struct SdlModuleEntry {
    uint32_t interfaceVersion;  // kSdlModuleInterface of the module's build
    uint32_t backendSize;       // sizeof(PlatformBackend) of the module's build
    uint32_t eventsSize;        // sizeof(PlatformEvents) of the module's build
    // OpenSdlBackend: false, with SDL's reason in `error` (always NUL-terminated), when no
    // display can be opened at all.
    bool (*open)(bool windowed, const PlatformEvents* events, char* error, size_t errorSize);
    const PlatformBackend* (*backend)();  // SdlBackend
    void (*close)();                      // CloseSdlBackend
};

using SdlModuleEntryFunction = const SdlModuleEntry* (*)();
