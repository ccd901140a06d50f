// Loading a .3ds chunk file into a Scene: the chunk walker, its dispatch table and the
// two-pass load driver.
#pragma once

#include <cstdint>
#include <string>

#include "scene/records.h"

// Why the last LoadScene failed: the file offset and chunk id where the load stopped and
// one line of reason. `message` is empty after a successful load.
struct LoadError {
    int64_t offset = 0;
    uint16_t chunkId = 0;
    std::string message;
};

// Loads the scene file at `path`; nullptr on any failure (see LastLoadError). The caller
// owns the result and releases it with FreeScene. Not reentrant.
Scene* LoadScene(const char* path);

// The reason the most recent LoadScene failed.
const LoadError& LastLoadError();
