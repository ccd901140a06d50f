// Writes one of the viewer's fixture scenes to the path given: the fixture (a cube and a
// pyramid), or with "infinite" a box whose every position is infinite (nothing to draw).
#include <cstdio>
#include <cstring>
#include <limits>

#include "fixture_scene.h"

namespace {

std::vector<uint8_t> InfiniteBoxBytes() {
    const float inf = std::numeric_limits<float>::infinity();
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "BoxWithInfinites", [&] {
                WriteVertexList(w, {inf, 0, 0, 0, inf, 0, 0, 0, -inf, inf, inf, inf});
                WriteFaceList(w, {0, 1, 2, 1, 2, 3});
            });
        });
    });
    return w.bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const bool infinite = argc == 3 && std::strcmp(argv[2], "infinite") == 0;
    if (argc != 2 && !infinite) {
        std::fprintf(stderr, "usage: %s FILE.3ds [infinite]\n", argv[0]);
        return 2;
    }
    if (!WriteBytesToFile(infinite ? InfiniteBoxBytes() : FixtureSceneBytes(), argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
