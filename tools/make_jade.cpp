// Writes the bundled scene's texture map (assets/jade.png) from code.
//
//     make_jade [OUTPUT]        OUTPUT defaults to jade.png
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image_bytes.h"
#include "jade_map.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "jade.png";
    const std::vector<uint8_t> bytes =
        image_bytes::Png(jade_map::kSide, jade_map::kSide, jade_map::Pixels());
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_jade: %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    if (std::fclose(file) != 0 || written != bytes.size()) {
        std::fprintf(stderr, "make_jade: %s: write failed\n", path);
        return 1;
    }
    std::printf("make_jade: wrote %zu bytes to %s\n", bytes.size(), path);
    return 0;
}
