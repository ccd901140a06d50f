// The fuzz targets' input as a scene file: the loader reads from a path (it opens the file
// once per pass), so each input is written to an anonymous in-memory file and loaded
// through /proc/self/fd. Also the fixed hash key both targets run with.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "scene/keyed_hash.h"

struct MemoryInput {
    int fd = -1;
    char path[64] = {};
};

// Creates the in-memory file and fixes the hash key: a fixed key, so that an input takes the
// same paths in every run (coverage the fuzzer can rely on, and artifacts that replay alike).
// What a load gives never depends on the key; only where records land in the tables does.
// Aborts, naming `program`, when the file cannot be made.
inline MemoryInput OpenMemoryInput(const char* program) {
    SetProcessHashKey(HashKey{0x0123456789abcdefu, 0xfedcba9876543210u});
    MemoryInput input;
    input.fd = memfd_create("scene.3ds", 0);
    if (input.fd < 0) {
        std::fprintf(stderr, "%s: ", program);
        std::perror("memfd_create");
        std::abort();
    }
    std::snprintf(input.path, sizeof input.path, "/proc/self/fd/%d", input.fd);
    return input;
}

// Makes the file hold exactly `data`; aborts when it cannot.
inline void FillMemoryInput(const MemoryInput& input, const uint8_t* data, size_t size) {
    if (ftruncate(input.fd, 0) != 0 ||
        pwrite(input.fd, data, size, 0) != static_cast<ssize_t>(size)) {
        std::abort();
    }
}
