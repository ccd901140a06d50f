// Writes the viewer's fixture scene to the path given; with --instances N, a scene whose
// every frame of --animate draws one mesh of 65,535 faces N times (long frames, for the
// checks that a run ends at once in the middle of one).
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
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.3ds | --instances N FILE.3ds\n", argv[0]);
        return 2;
    }
    if (!WriteBytesToFile(FixtureSceneBytes(), argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
