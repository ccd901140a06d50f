// One tick of keyframer evaluation on a scene of 1,000 animated nodes: a tree of object
// nodes (each under node (i - 1) / 2, ten levels deep), each with 20 position, rotation and
// scale keys carrying spline values, and a mesh for every node.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "chunk_writer.h"
#include "scene/animation.h"
#include "scene/loader.h"

namespace {

constexpr int kNodes = 1000;
constexpr int kKeys = 20;

std::string NodeName(int i) {
    return "N" + std::to_string(i);
}

std::vector<uint8_t> BuildScene() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (int i = 0; i < kNodes; ++i) {
                WriteNamedMesh(w, NodeName(i), [&] {
                    WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                    w.Chunk(chunk::MeshMatrix, [&] {
                        w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
                    });
                });
            }
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(10 * (kKeys - 1)); });
            for (int i = 0; i < kNodes; ++i) {
                w.Chunk(chunk::ObjectNode, [&] {
                    w.Chunk(chunk::NodeId, [&] { w.U16(static_cast<uint16_t>(i)); });
                    w.Chunk(chunk::NodeHeader, [&] {
                        w.Name(NodeName(i))
                            .U16(0)
                            .U16(0)
                            .U16(static_cast<uint16_t>(i == 0 ? 0xFFFF : (i - 1) / 2));
                    });
                    w.Chunk(chunk::Pivot, [&] { w.Floats({0.5f, 0, 0}); });
                    const auto track = [&](uint16_t id, int floats) {
                        w.Chunk(id, [&] {
                            w.TrackHeader(kKeys);
                            for (int k = 0; k < kKeys; ++k) {
                                w.SplineKeyHeader(static_cast<uint32_t>(10 * k), 0x001F,
                                                  {0.2f, -0.1f, 0.3f, 0.2f, 0.2f});
                                const float v = static_cast<float>((i + k) % 7) * 0.25f;
                                if (floats == 4) {
                                    w.Floats({0.3f, 0, 1, v});
                                } else {
                                    w.Floats({1 + v, 1 - v, 1 + 0.5f * v});
                                }
                            }
                        });
                    };
                    track(chunk::PositionTrack, 3);
                    track(chunk::RotationTrack, 4);
                    track(chunk::ScaleTrack, 3);
                });
            }
        });
    });
    return w.bytes;
}

void BM_EvaluateAnimation(benchmark::State& state) {
    const std::string path = "/tmp/trellis_animation_bench." + std::to_string(::getpid()) + ".3ds";
    if (!WriteBytesToFile(BuildScene(), path.c_str())) {
        state.SkipWithError("cannot write the scene");
        return;
    }
    Scene* scene = LoadScene(path.c_str());
    std::remove(path.c_str());
    if (scene == nullptr) {
        state.SkipWithError(LastLoadError().message.c_str());
        return;
    }
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    double seconds = 0.0;
    for (auto _ : state) {
        EvaluateAnimation(animation, AnimationFrameAt(animation, seconds, 30.0));
        benchmark::DoNotOptimize(animation.object.data());
        seconds += 0.02;
    }
    state.SetItemsProcessed(state.iterations() * kNodes);
    FreeScene(scene);
}
BENCHMARK(BM_EvaluateAnimation)->Unit(benchmark::kMicrosecond);

}  // namespace
