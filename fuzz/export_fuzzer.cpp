// libFuzzer target of the glTF export: every input that loads as a scene is exported as a
// .glb into a sink that keeps only its header and length. The export must succeed (it never
// fails on a scene's contents) and write a .glb whose header states the length written and
// whose JSON chunk is padded to 4 bytes; the sanitizers catch the rest. Run it on the load
// fuzzer's corpus: `export_fuzzer build/fuzz/corpus -max_total_time=60`.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "export/gltf.h"
#include "scene/keyed_hash.h"
#include "scene/loader.h"

namespace {

int memoryFile = -1;
char memoryPath[64];

struct Glb {
    uint8_t head[20] = {};
    size_t length = 0;
};

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "export_fuzzer: unsound result: %s\n", what);
    std::abort();
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetProcessHashKey(HashKey{0x0123456789abcdefu, 0xfedcba9876543210u});  // runs that replay
    memoryFile = memfd_create("scene.3ds", 0);
    if (memoryFile < 0) {
        std::perror("export_fuzzer: memfd_create");
        std::exit(1);
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
    if (scene == nullptr) return 0;
    Glb glb;
    GltfSink sink;
    sink.user = &glb;
    sink.begin = [](void*, const std::string&) { return true; };
    sink.write = [](void* user, const void* bytes, size_t n) {
        auto* g = static_cast<Glb*>(user);
        for (size_t i = 0; i < n && g->length + i < sizeof g->head; ++i)
            g->head[g->length + i] = static_cast<const uint8_t*>(bytes)[i];
        g->length += n;
        return true;
    };
    sink.end = [](void*) { return true; };
    GltfReport report;
    Check(ExportGltf(*scene, GltfOptions{}, sink, report), "the export failed");
    Check(Le32(glb.head) == 0x46546C67 && Le32(glb.head + 4) == 2, "not a .glb header");
    Check(Le32(glb.head + 8) == glb.length, "the header's length is not the length written");
    Check(Le32(glb.head + 12) % 4 == 0, "the JSON chunk is not padded to 4 bytes");
    FreeScene(scene);
    return 0;
}
