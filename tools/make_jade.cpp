// Writes the bundled scene's texture map (assets/jade.png) from code.
//
//     make_jade [OUTPUT]        OUTPUT defaults to jade.png
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "chunk_writer.h"
#include "image_bytes.h"
#include "jade_map.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "jade.png";
    const std::vector<uint8_t> bytes =
        image_bytes::Png(jade_map::kSide, jade_map::kSide, jade_map::Pixels());
    if (!WriteBytesToFile(bytes, path)) {
        std::fprintf(stderr, "make_jade: %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    std::printf("make_jade: wrote %zu bytes to %s\n", bytes.size(), path);
    return 0;
}
