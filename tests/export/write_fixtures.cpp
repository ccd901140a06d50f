// Writes the scenes whose exports the glTF validator checks into a folder: the export's own
// fixtures and the fuzzer's seed scenes (every family of chunks).
//
//     write_gltf_fixtures FOLDER
#include <cstdio>
#include <string>

#include "chunk_writer.h"
#include "gltf_fixtures.h"
#include "seed_scenes.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_gltf_fixtures FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const auto& [name, bytes] : gltf_fixtures::AllFixtures()) {
        if (!WriteBytesToFile(bytes, (folder + "/" + name).c_str())) {
            std::fprintf(stderr, "write_gltf_fixtures: cannot write %s/%s\n", folder.c_str(),
                         name.c_str());
            return 1;
        }
    }
    for (const seed_scenes::Seed& seed : seed_scenes::All()) {
        if (!WriteBytesToFile(seed.bytes, (folder + "/seed_" + seed.name).c_str())) {
            std::fprintf(stderr, "write_gltf_fixtures: cannot write %s/seed_%s\n", folder.c_str(),
                         seed.name.c_str());
            return 1;
        }
    }
    return 0;
}
