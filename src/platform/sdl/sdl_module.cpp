// The exported entry of the SDL backend module: its three functions behind a C table.
#include <cstdio>
#include <string>

#include "platform/sdl/sdl.h"
#include "platform/sdl/sdl_module.h"

namespace {

bool OpenFromProgram(bool windowed, const PlatformEvents* events, char* error, size_t errorSize) {
    std::string reason = "no events to report to";
    if (events && OpenSdlBackend(windowed, *events, reason)) return true;
    if (errorSize > 0) std::snprintf(error, errorSize, "%s", reason.c_str());
    return false;
}

const PlatformBackend* BackendForProgram() {
    return &SdlBackend();
}

const SdlModuleEntry entry = {
    kSdlModuleInterface, sizeof(PlatformBackend), sizeof(PlatformEvents),
    OpenFromProgram,     BackendForProgram,       CloseSdlBackend,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const SdlModuleEntry* TrellisSdlModule() {
    return &entry;
}
