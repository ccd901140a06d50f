// libFuzzer target: every input is loaded as a scene file and released again.
//
// The loader reads from a path (it opens the file twice, once per pass), so each input
// is written to an anonymous in-memory file and loaded through /proc/self/fd.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "scene/loader.h"

namespace {

int memoryFile = -1;
char memoryPath[64];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    memoryFile = memfd_create("scene.3ds", 0);
    if (memoryFile < 0) {
        std::perror("load_fuzzer: memfd_create");
        std::abort();
    }
    std::snprintf(memoryPath, sizeof memoryPath, "/proc/self/fd/%d", memoryFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (ftruncate(memoryFile, 0) != 0 ||
        pwrite(memoryFile, data, size, 0) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    Scene* scene = LoadScene(memoryPath);
    FreeScene(scene);
    return 0;
}
