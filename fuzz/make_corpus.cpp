// Writes the fuzzer's seed corpus: the bundled scene and small scenes covering every family
// of chunks, one file each, into a directory (created if missing). Files of other names in
// the directory, such as inputs the fuzzer added, are left alone.
//
//     make_corpus DIRECTORY
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "chunk_writer.h"
#include "seed_scenes.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[1];
    if (mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "make_corpus: %s: %s\n", directory.c_str(), std::strerror(errno));
        return 1;
    }
    size_t total = 0;
    const std::vector<seed_scenes::Seed> seeds = seed_scenes::All();
    for (const seed_scenes::Seed& seed : seeds) {
        const std::string path = directory + "/" + seed.name;
        if (!WriteBytesToFile(seed.bytes, path.c_str())) {
            std::fprintf(stderr, "make_corpus: %s: write failed\n", path.c_str());
            return 1;
        }
        total += seed.bytes.size();
    }
    std::printf("make_corpus: wrote %zu seeds (%zu bytes) to %s\n", seeds.size(), total,
                directory.c_str());
    return 0;
}
