// Writes one of the viewer's fixture scenes to the path given: the fixture (a cube and a
// pyramid), or with "infinite" a box whose every position is infinite (nothing to draw); with
// --instances N, a scene whose every frame of --animate draws one mesh of 65,535 faces N times
// (long frames, for the checks that a run ends at once in the middle of one).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fixture_scene.h"
#include "hostile_scenes.h"

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--instances") == 0) {
        const int nodes = std::atoi(argv[2]);
        if (nodes < 1 || nodes > 1000000) {
            std::fprintf(stderr, "%s: --instances needs 1 to 1000000\n", argv[0]);
            return 2;
        }
        if (!WriteBytesToFile(hostile::ManyInstances(nodes), argv[3])) {
            std::perror(argv[3]);
            return 1;
        }
        return 0;
    }
    const bool infinite = argc == 3 && std::strcmp(argv[2], "infinite") == 0;
    if (argc != 2 && !infinite) {
        std::fprintf(stderr, "usage: %s FILE.3ds [infinite] | --instances N FILE.3ds\n", argv[0]);
        return 2;
    }
    if (!WriteBytesToFile(infinite ? InfiniteBoxSceneBytes() : FixtureSceneBytes(), argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
