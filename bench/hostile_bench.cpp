// Files built to crowd the loader's hash tables, against ordinary files of the same size.
// Target: the crowded file loads within 2x the time of the ordinary one.
//
// - Names: 40,000 meshes and 40,000 keyframer nodes that look them up by name. The crowded
//   names share the low 17 bits of their 32-bit FNV-1a hashes (the name hash of earlier
//   versions), so with that hash every insertion and lookup walked one probe sequence of
//   up to 40,000 names. The ordinary names have the same length.
// - Positions: one mesh of 65,535 distinct positions and 65,535 faces, whose positions all
//   share one value of the fixed position hash that groups vertices for the normals, so
//   that grouping them with it alone would take 65,535^2 / 2 probes. The ordinary mesh has
//   65,535 distinct positions of the same shape.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "hash_collisions.h"
#include "scene/loader.h"

namespace {

constexpr int32_t kNames = 40000;
constexpr int32_t kVertices = 65535;

std::vector<uint8_t> NameScene(bool crowded) {
    const std::vector<std::string> names =
        crowded ? hash_collisions::NamesOfOneFnv1aSlot(kNames, 5, 17, "Rec")
                : hash_collisions::OrdinaryNames(kNames, 5, "Rec");
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (const std::string& name : names)
                WriteNamedMesh(w, name, [] {});
        });
        w.Chunk(chunk::Keyframer, [&] {
            for (int32_t i = kNames - 1; i >= 0; --i) {
                w.Chunk(chunk::ObjectNode, [&] {
                    w.Chunk(chunk::NodeId, [&] { w.U16(static_cast<uint16_t>(i)); });
                    w.Chunk(chunk::NodeHeader, [&] {
                        w.Name(names[static_cast<size_t>(i)]).U16(0).U16(0).U16(0xFFFF);
                    });
                });
            }
        });
    });
    return w.bytes;
}

std::vector<uint8_t> PositionScene(bool crowded) {
    std::vector<std::array<float, 3>> positions;
    if (crowded) {
        positions = hash_collisions::PositionsOfOneFixedHash(kVertices);
    } else {
        uint32_t state = 12345;
        for (int32_t i = 1; i <= kVertices; ++i) {
            state = state * 1664525u + 1013904223u;
            positions.push_back({static_cast<float>(i), 0.5f,
                                 static_cast<float>(state >> 8) * (1.0f / 65536.0f) - 128.0f});
        }
    }
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Crowd", [&] {
                w.Chunk(chunk::VertexList, [&] {
                    w.U16(kVertices);
                    for (const auto& p : positions)
                        w.F32(p[0]).F32(p[2]).F32(p[1]);  // the file's axes: x, z, y
                });
                w.Chunk(chunk::FaceList, [&] {
                    w.U16(kVertices);
                    for (int32_t i = 0; i < kVertices; ++i) {
                        w.U16(static_cast<uint16_t>(i))
                            .U16(static_cast<uint16_t>((i + 1) % kVertices))
                            .U16(static_cast<uint16_t>((i + 2) % kVertices))
                            .U16(0);
                    }
                });
            });
        });
    });
    return w.bytes;
}

void LoadRepeatedly(benchmark::State& state, const std::vector<uint8_t>& bytes) {
    const std::string path = "/tmp/trellis_hostile_bench." + std::to_string(getpid()) + ".3ds";
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
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

void BM_LoadNames(benchmark::State& state) {
    LoadRepeatedly(state, NameScene(state.range(0) != 0));
}
BENCHMARK(BM_LoadNames)->ArgName("crowded")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LoadPositions(benchmark::State& state) {
    LoadRepeatedly(state, PositionScene(state.range(0) != 0));
}
BENCHMARK(BM_LoadPositions)->ArgName("crowded")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
