// Writes the hostile scene files of tests/support/hostile_scenes.h into a folder, for the memory
// benchmark (bench/memory_bench.sh) and the replay of every case (bench/hostile_table.sh).
//
// usage: make_hostile DIR [SPARSE_BYTES]
//   DIR/nodes-10M.3ds      10.5 MB of empty keyframer node chunks
//   DIR/nodes-105M.3ds     105 MB of them
//   DIR/sparse.3ds         SPARSE_BYTES (default 2,147,000,000) of zero faces, mostly holes
//   DIR/instances.3ds      20,000 object nodes naming one 65,535-face mesh (1 MB)
//   DIR/long-segment.3ds   a segment of 2^31 frames with a moving node
//   DIR/latin1-names.3ds   names that are not UTF-8
//   DIR/large.3ds          for comparison: the ordinary 50 MB scene of the load benchmark
//   DIR/bare-meshes.3ds    for comparison: 50 MB of meshes with vertex and face lists only
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hostile_scenes.h"
#include "large_scene.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_hostile DIR [SPARSE_BYTES]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int64_t sparseBytes = argc > 2 ? std::strtoll(argv[2], nullptr, 10) : 2147000000;
    bool ok = true;
    const auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir + "/" + name;
        if (!WriteBytesToFile(bytes, path.c_str())) {
            std::fprintf(stderr, "make_hostile: cannot write %s\n", path.c_str());
            ok = false;
        }
    };
    write("nodes-10M.3ds", hostile::EmptyNodes(10500000));
    write("nodes-105M.3ds", hostile::EmptyNodes(105000000));
    write("instances.3ds", hostile::ManyInstances(20000));
    write("long-segment.3ds", hostile::LongSegment(0x80000000u));
    write("latin1-names.3ds", hostile::Latin1Names());
    write("large.3ds", GenerateLargeScene());
    write("bare-meshes.3ds", hostile::BareMeshes(50000000));
    const std::string sparse = dir + "/sparse.3ds";
    if (!hostile::WriteSparseFaces(sparse.c_str(), sparseBytes)) {
        std::fprintf(stderr, "make_hostile: cannot write %s\n", sparse.c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}
