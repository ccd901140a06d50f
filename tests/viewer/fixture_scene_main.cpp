// Writes one of the viewer's fixture scenes to the path given: the fixture (a cube and a
// pyramid), or with "infinite" a box whose every position is infinite (nothing to draw).
#include <cstdio>
#include <cstring>

#include "fixture_scene.h"

int main(int argc, char** argv) {
    const bool infinite = argc == 3 && std::strcmp(argv[2], "infinite") == 0;
    if (argc != 2 && !infinite) {
        std::fprintf(stderr, "usage: %s FILE.3ds [infinite]\n", argv[0]);
        return 2;
    }
    if (!WriteBytesToFile(infinite ? InfiniteBoxSceneBytes() : FixtureSceneBytes(), argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
