// Writes the viewer's fixture scene to the path given.
#include <cstdio>

#include "fixture_scene.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.3ds\n", argv[0]);
        return 2;
    }
    if (!WriteBytesToFile(FixtureSceneBytes(), argv[1])) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
