// Finds, loads and checks the SDL backend module with dlopen.
#include "platform/sdl/sdl_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>

#include "platform/emulation.h"
#include "platform/program_directory.h"
#include "platform/sdl/sdl_module.h"
#include "platform/startup_trace.h"

#ifndef TRELLIS_MODULE_DIR
#define TRELLIS_MODULE_DIR "../lib/trellis"
#endif

namespace {

struct SdlModuleState {
    void* handle = nullptr;
    const SdlModuleEntry* entry = nullptr;
    bool open = false;
};

SdlModuleState sdlModule;

// dlerror() leads with the path it was given; the caller names the path itself.
std::string LoadFailureReason(const std::string& path) {
    const char* reason = dlerror();
    if (!reason) return "unknown error";
    std::string text = reason;
    if (text.compare(0, path.size() + 2, path + ": ") == 0) text.erase(0, path.size() + 2);
    return text;
}

bool LoadModule(std::string& error) {
    if (sdlModule.entry) return true;
    std::string directory = ProgramDirectory();
    std::string candidates[2];
    if (directory.empty()) {
        // Without /proc the dynamic linker's own search (LD_LIBRARY_PATH, ...) is all.
        candidates[0] = kSdlModuleFileName;
    } else {
        candidates[0] = directory + "/" + kSdlModuleFileName;
        candidates[1] = directory + "/" + TRELLIS_MODULE_DIR + "/" + kSdlModuleFileName;
    }
    std::string path;
    for (const std::string& candidate : candidates) {
        if (candidate.empty()) continue;
        if (candidate.find('/') != std::string::npos && access(candidate.c_str(), F_OK) != 0) {
            continue;
        }
        path = candidate;
        break;
    }
    if (path.empty()) {
        error = std::string("cannot load ") + kSdlModuleFileName + ": not found in " + directory +
                " or " + directory + "/" + TRELLIS_MODULE_DIR;
        return false;
    }
    // Bound lazily: SDL and the libraries it brings resolve only the symbols that are called.
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
        error = "cannot load " + path + ": " + LoadFailureReason(path);
        return false;
    }
    auto entryFunction =
        reinterpret_cast<SdlModuleEntryFunction>(dlsym(handle, kSdlModuleEntryName));
    const SdlModuleEntry* entry = entryFunction ? entryFunction() : nullptr;
    if (!entry || entry->interfaceVersion != kSdlModuleInterface ||
        entry->backendSize != sizeof(PlatformBackend) ||
        entry->eventsSize != sizeof(PlatformEvents) || !entry->open || !entry->backend ||
        !entry->close || !entry->backend()) {
        error = "cannot load " + path + ": not a display module of this build of trellis";
        dlclose(handle);
        return false;
    }
    sdlModule.handle = handle;
    sdlModule.entry = entry;
    TraceStartup("module loaded");
    return true;
}

}  // namespace

bool OpenSdlModule(bool windowed, std::string& error) {
    if (sdlModule.open) return true;
    if (!LoadModule(error)) return false;
    char reason[512] = "";
    if (!sdlModule.entry->open(windowed, &EmulationEvents(), reason, sizeof reason)) {
        error = reason[0] ? reason : "no display could be opened";
        return false;
    }
    sdlModule.open = true;
    TraceStartup("display open");
    return true;
}

const PlatformBackend& SdlModuleBackend() {
    return *sdlModule.entry->backend();
}

void CloseSdlModule() {
    if (!sdlModule.open) return;
    sdlModule.entry->close();
    sdlModule.open = false;
}
