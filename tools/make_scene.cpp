// Writes the bundled scene (assets/svet.3ds) from code.
//
//     make_scene [OUTPUT]        OUTPUT defaults to svet.3ds
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bundled_scene.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "svet.3ds";
    const std::vector<uint8_t> bytes = bundled_scene::Build();
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_scene: %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    if (std::fclose(file) != 0 || written != bytes.size()) {
        std::fprintf(stderr, "make_scene: %s: write failed\n", path);
        return 1;
    }
    std::printf("make_scene: wrote %zu bytes to %s\n", bytes.size(), path);
    return 0;
}
