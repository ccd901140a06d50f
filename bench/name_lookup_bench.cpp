// Loading scenes made mostly of names and lookups by name: N meshes and N object nodes, N
// lights and N colour chunks, N materials and N face groups, for N from 25,000 to 200,000.
// Target: time linear in N (the same time per record at every N), at most 1 s for the
// largest scene of each kind in the release build.
//
// The nodes, colours and groups name records that do not exist, so that a search of the
// records in order would compare every name of its kind at each lookup.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "scene/loader.h"

namespace {

enum Kind { Meshes, Lights, Materials };

std::vector<uint8_t> NameScene(Kind kind, int32_t n) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (int32_t i = 0; i < n; ++i) {
                const std::string name = "Record" + std::to_string(i);
                if (kind == Meshes) {
                    WriteNamedMesh(w, name, [] {});
                } else if (kind == Lights) {
                    w.Chunk(chunk::NamedObject, [&] {
                        w.Name(name);
                        w.Chunk(chunk::Light, [&] { w.Floats({0, 0, 0}); });
                    });
                } else {
                    w.Chunk(chunk::Material,
                            [&] { w.Chunk(chunk::MaterialName, [&] { w.Name(name); }); });
                }
            }
            if (kind == Lights) {
                w.Chunk(chunk::NamedObject, [&] { w.Name("Nobody"); });
                for (int32_t i = 0; i < n; ++i)
                    w.Chunk(chunk::ColorFloat, [&] { w.Floats({1, 1, 1}); });
            }
            if (kind == Materials) {
                WriteNamedMesh(w, "Box", [&] {
                    WriteFaceList(w, {}, [&] {
                        for (int32_t i = 0; i < n; ++i)
                            w.Chunk(chunk::FaceMaterials, [&] { w.Name("Nobody").U16(0); });
                    });
                });
            }
        });
        if (kind == Meshes) {
            w.Chunk(chunk::Keyframer, [&] {
                for (int32_t i = 0; i < n; ++i) {
                    w.Chunk(chunk::ObjectNode, [&] {
                        w.Chunk(chunk::NodeHeader,
                                [&] { w.Name("Nobody").U16(0).U16(0).U16(0xFFFF); });
                    });
                }
            });
        }
    });
    return w.bytes;
}

void BM_LoadNames(benchmark::State& state) {
    const auto kind = static_cast<Kind>(state.range(0));
    const auto n = static_cast<int32_t>(state.range(1));
    const std::string path = "/tmp/trellis_name_lookup_bench." + std::to_string(getpid()) + ".3ds";
    const std::vector<uint8_t> bytes = NameScene(kind, n);
    if (!WriteBytesToFile(bytes, path.c_str())) {
        state.SkipWithError("cannot write the scene");
        return;
    }
    for (auto _ : state) {
        Scene* scene = LoadScene(path.c_str());
        if (scene == nullptr) {
            state.SkipWithError(LastLoadError().message.c_str());
            break;
        }
        FreeScene(scene);
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_LoadNames)
    ->ArgsProduct({{Meshes, Lights, Materials}, {25000, 200000}})
    ->ArgNames({"kind", "n"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
