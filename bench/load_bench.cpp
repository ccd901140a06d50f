// Loading a generated 50 MB scene, planes and normals included, against one fread of the
// same file in the same run. Target: at most 0.15 s and at most 8 times the fread.
//
// The scene is written at start-up with the fixture writer: about 95 meshes of up to
// 65,535 vertices (wavy grids with texture coordinates, a face list with a material group
// and smoothing groups, a mesh matrix), a few materials, lights and cameras, and a
// keyframer node with tracks for every mesh.
//
// Two pairs are compared. BM_LoadScene, whose loads reuse the memory of the scene freed
// before (x_fread_warm: against an fread into a buffer already touched), and
// BM_LoadSceneIntoFreshMemory, whose every load gets fresh pages from the kernel as a
// program's first load does (x_fread: against an fread into a fresh buffer). The records of
// this scene take about 125 MB (a Face is 48 bytes, a Vertex 32), and first touching those
// pages costs more than reading the file, unless they come in huge pages, as the program's
// own arena memory gives them (BM_LoadSceneIntoFreshHugePages).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "platform/memory/huge_pages.h"
#include "scene/loader.h"
#include "view/views.h"

namespace {

constexpr size_t kTargetBytes = 50u * 1000 * 1000;

// A grid of columns x rows vertices on a wavy surface, two faces per cell.
void WriteGridMesh(ChunkWriter& w, const std::string& name, int columns, int rows, float offset) {
    WriteNamedMesh(w, name, [&] {
        const int vertices = columns * rows;
        w.Chunk(chunk::VertexList, [&] {
            w.U16(static_cast<uint16_t>(vertices));
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < columns; ++c) {
                    const float x = static_cast<float>(c) * 0.5f + offset;
                    const float y = static_cast<float>(r) * 0.5f;
                    w.F32(x).F32(y).F32(std::sin(x * 0.3f) * std::cos(y * 0.2f) * 4.0f);
                }
            }
        });
        w.Chunk(chunk::TexCoords, [&] {
            w.U16(static_cast<uint16_t>(vertices));
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < columns; ++c) {
                    w.F32(static_cast<float>(c) / static_cast<float>(columns));
                    w.F32(static_cast<float>(r) / static_cast<float>(rows));
                }
            }
        });
        // Two faces per cell, as many as a face list can count (65,535).
        std::vector<uint16_t> corners;
        const auto at = [&](int r, int c) { return static_cast<uint16_t>(r * columns + c); };
        for (int r = 0; r + 1 < rows; ++r) {
            for (int c = 0; c + 1 < columns; ++c) {
                corners.insert(corners.end(), {at(r, c), at(r, c + 1), at(r + 1, c)});
                corners.insert(corners.end(), {at(r, c + 1), at(r + 1, c + 1), at(r + 1, c)});
            }
        }
        const int faces = static_cast<int>(std::min<size_t>(corners.size() / 3, 65535));
        w.Chunk(chunk::FaceList, [&] {
            w.U16(static_cast<uint16_t>(faces));
            for (int f = 0; f < faces; ++f) {
                w.U16(corners[3 * f]).U16(corners[3 * f + 1]).U16(corners[3 * f + 2]).U16(7);
            }
            w.Chunk(chunk::FaceMaterials, [&] {
                w.Name("Stone").U16(static_cast<uint16_t>(faces));
                for (int f = 0; f < faces; ++f)
                    w.U16(static_cast<uint16_t>(f));
            });
            w.Chunk(chunk::SmoothGroups, [&] {
                for (int f = 0; f < faces; ++f)
                    w.U32(1);
            });
        });
        w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, offset, 0, 0}); });
    });
}

std::vector<uint8_t> GenerateScene() {
    ChunkWriter w;
    w.bytes.reserve(kTargetBytes + (8u << 20));
    std::vector<std::string> meshNames;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(chunk::Editor, [&] {
            for (const char* material : {"Stone", "Grass", "Water"}) {
                w.Chunk(chunk::Material, [&] {
                    w.Chunk(chunk::MaterialName, [&] { w.Name(material); });
                    w.Chunk(chunk::MaterialDiffuse,
                            [&] { w.Chunk(chunk::ColorByte, [&] { w.U8(120).U8(120).U8(120); }); });
                });
            }
            // Every tenth mesh is the largest a mesh can be (255 x 257 = 65,535 vertices);
            // the others spread between about 2,800 and 12,700 vertices.
            for (int i = 0; w.bytes.size() < kTargetBytes; ++i) {
                int columns = 255, rows = 257;
                if (i % 10 != 0) {
                    columns = 53 + (i * 37) % 60;
                    rows = 53 + (i * 53) % 60;
                }
                meshNames.push_back("Mesh" + std::to_string(i));
                WriteGridMesh(w, meshNames.back(), columns, rows, static_cast<float>(i) * 10.0f);
            }
            for (int i = 0; i < 4; ++i) {
                w.Chunk(chunk::NamedObject, [&] {
                    w.Name("Light" + std::to_string(i));
                    w.Chunk(chunk::Light, [&] {
                        w.Floats({static_cast<float>(i) * 50.0f, 100, 100});
                        w.Chunk(chunk::ColorFloat, [&] { w.Floats({1, 0.9f, 0.8f}); });
                    });
                });
            }
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Camera01");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, -150, 50, 0, 0, 0, 0, 35}); });
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(100); });
            uint16_t nodeId = 0;
            for (const std::string& name : meshNames) {
                w.Chunk(chunk::ObjectNode, [&] {
                    w.Chunk(chunk::NodeId, [&] { w.U16(nodeId++); });
                    w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(0).U16(0).U16(0xFFFF); });
                    w.Chunk(chunk::PositionTrack, [&] {
                        w.TrackHeader(2).KeyHeader(0).Floats({0, 0, 0});
                        w.KeyHeader(100).Floats({0, 0, 10});
                    });
                    w.Chunk(chunk::RotationTrack, [&] {
                        w.TrackHeader(1).KeyHeader(0).Floats({0, 0, 0, 1});
                    });
                });
            }
            for (uint16_t tag : {chunk::CameraNode, chunk::TargetNode}) {
                w.Chunk(tag, [&] {
                    w.Chunk(chunk::NodeId, [&] { w.U16(nodeId++); });
                    w.Chunk(chunk::NodeHeader,
                            [&] { w.Name("Camera01").U16(0).U16(0).U16(0xFFFF); });
                    w.Chunk(chunk::PositionTrack, [&] {
                        w.TrackHeader(1).KeyHeader(0);
                        if (tag == chunk::CameraNode) {
                            w.Floats({0, -150, 50});
                        } else {
                            w.Floats({0, 0, 0});
                        }
                    });
                });
            }
        });
    });
    return w.bytes;
}

// The generated file, written once and removed at exit.
struct SceneFile {
    std::string path;
    size_t size = 0;
    int32_t meshes = 0;
    SceneFile() {
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir != nullptr ? dir : "/tmp") + "/trellis_load_bench." +
               std::to_string(::getpid()) + ".3ds";
        const std::vector<uint8_t> bytes = GenerateScene();
        size = bytes.size();
        if (!WriteBytesToFile(bytes, path.c_str())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
        Scene* scene = LoadScene(path.c_str());
        if (scene == nullptr) {
            std::fprintf(stderr, "generated scene does not load: %s\n",
                         LastLoadError().message.c_str());
            std::exit(1);
        }
        meshes = scene->objectCount;
        FreeScene(scene);
    }
    ~SceneFile() { std::remove(path.c_str()); }
};

const SceneFile& TheScene() {
    static const SceneFile file;
    return file;
}

using Clock = std::chrono::steady_clock;

double freadSeconds = 0.0;      // mean of BM_FreadWholeFile, which runs first
double freadWarmSeconds = 0.0;  // mean of BM_FreadIntoWarmBuffer
double loadWarmSeconds = 0.0;   // mean of BM_LoadScene
double loadHugeSeconds = 0.0;   // mean of BM_LoadSceneIntoFreshHugePages

// What a program pays to get the file into memory: fopen, a fresh buffer of the file's
// size, one fread, fclose, free. The loader is measured against this.
void BM_FreadWholeFile(benchmark::State& state) {
    const SceneFile& file = TheScene();
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        FILE* stream = std::fopen(file.path.c_str(), "rb");
        auto* buffer = static_cast<unsigned char*>(std::malloc(file.size));
        const size_t got = buffer ? std::fread(buffer, 1, file.size, stream) : 0;
        benchmark::DoNotOptimize(buffer);
        std::fclose(stream);
        std::free(buffer);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (got != file.size) state.SkipWithError("short read");
    }
    freadSeconds = total / static_cast<double>(state.iterations());
    state.counters["MB"] = static_cast<double>(file.size) / 1e6;
}

// The copy alone: one fread into a buffer whose pages are already touched.
void BM_FreadIntoWarmBuffer(benchmark::State& state) {
    const SceneFile& file = TheScene();
    std::vector<unsigned char> buffer(file.size, 1);
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        FILE* stream = std::fopen(file.path.c_str(), "rb");
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
        std::fclose(stream);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (got != file.size) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    freadWarmSeconds = total / static_cast<double>(state.iterations());
    state.counters["MB"] = static_cast<double>(file.size) / 1e6;
}

// LoadScene alone: the caller's FreeScene afterwards is not timed. Each load after the
// first reuses the blocks of the scene freed before it (pages already touched), as the
// warm fread reuses its buffer; with `freshMemory` the kept blocks go back after every
// load, so each load pays for fresh pages as a program's first load does, and as the
// fresh-buffer fread does. `memory` is where the arena's blocks come from (null: the heap).
void RunLoads(benchmark::State& state, bool freshMemory, const ArenaMemory* memory) {
    const SceneFile& file = TheScene();
    SetArenaMemory(memory);
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        Scene* scene = LoadScene(file.path.c_str());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (scene == nullptr) state.SkipWithError("load failed");
        FreeScene(scene);
        if (freshMemory) ReleaseArenaCache();
    }
    SetArenaMemory(nullptr);
    state.counters["MB"] = static_cast<double>(file.size) / 1e6;
    state.counters["meshes"] = file.meshes;
    const double mean = total / static_cast<double>(state.iterations());
    if (!freshMemory && memory == nullptr) loadWarmSeconds = mean;
    if (freshMemory && memory != nullptr) loadHugeSeconds = mean;
    const double baseline = freshMemory ? freadSeconds : freadWarmSeconds;
    if (baseline > 0.0) state.counters[freshMemory ? "x_fread" : "x_fread_warm"] = mean / baseline;
}

void BM_LoadScene(benchmark::State& state) {
    RunLoads(state, false, nullptr);
}

void BM_LoadSceneIntoFreshMemory(benchmark::State& state) {
    RunLoads(state, true, nullptr);
}

// As the program loads its one scene: fresh memory, large blocks in huge pages.
void BM_LoadSceneIntoFreshHugePages(benchmark::State& state) {
    RunLoads(state, true, &HugePageArenaMemory());
}

// What a named scene adds to its load: the fit view (the box of the finite positions, then
// a look at the vertices of the few blocks of them that reach furthest from the turning
// axis). Target: under 5 % of a load: x_load (against BM_LoadScene) and x_load_huge
// (against BM_LoadSceneIntoFreshHugePages, the program's own load) below 0.05.
void BM_FitView(benchmark::State& state) {
    const SceneFile& file = TheScene();
    // In the program's own memory, as the viewer loads a scene.
    SetArenaMemory(&HugePageArenaMemory());
    Scene* scene = LoadScene(file.path.c_str());
    if (scene == nullptr) {
        SetArenaMemory(nullptr);
        state.SkipWithError("load failed");
        return;
    }
    ViewState view;
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        StartView(view, *scene, ViewMode::Fit, -1, 640, 480);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        benchmark::DoNotOptimize(view.pose.distance);
        state.SetIterationTime(seconds);
        total += seconds;
    }
    FreeScene(scene);
    SetArenaMemory(nullptr);
    const double mean = total / static_cast<double>(state.iterations());
    if (loadWarmSeconds > 0.0) state.counters["x_load"] = mean / loadWarmSeconds;
    if (loadHugeSeconds > 0.0) state.counters["x_load_huge"] = mean / loadHugeSeconds;
}

BENCHMARK(BM_FreadWholeFile)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_FreadIntoWarmBuffer)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_LoadScene)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_LoadSceneIntoFreshMemory)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(3.0);
BENCHMARK(BM_LoadSceneIntoFreshHugePages)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(3.0);
BENCHMARK(BM_FitView)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

}  // namespace
