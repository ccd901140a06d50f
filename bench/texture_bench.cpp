// Maps: decoding a large image, building its levels, sampling, the memory a scene's decoded
// maps hold, counted and printed (counters peak_MiB and held_MiB), and what opening a scene
// with 20 large maps costs, before it shows and in the windowed viewer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/viewer_maps.h"
#include "chunk_writer.h"
#include "image/image_decode.h"
#include "image/scene_maps.h"
#include "image_bytes.h"
#include "render/texture.h"
#include "scene/loader.h"

namespace {

// A `side` x `side` picture with detail at every scale (gradients, stripes and a little
// noise), so that its files compress like photographs and textures rather than flat colour.
std::vector<uint8_t> Picture(int side) {
    std::vector<uint8_t> rgba(static_cast<size_t>(side) * side * 4);
    uint32_t noise = 12345;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            noise = noise * 1664525u + 1013904223u;
            uint8_t* p = &rgba[(static_cast<size_t>(y) * side + x) * 4];
            p[0] = static_cast<uint8_t>((x * 255) / side + ((noise >> 28) & 7));
            p[1] = static_cast<uint8_t>(((x / 16 + y / 16) & 1) * 96 + (y * 128) / side);
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin(static_cast<float>(x + y) * 0.05f));
            p[3] = 255;
        }
    }
    return rgba;
}

const std::vector<uint8_t>& Pixels2048() {
    static const std::vector<uint8_t> pixels = Picture(2048);
    return pixels;
}

void Decode(benchmark::State& state, const std::vector<uint8_t>& file) {
    TextureMemory memory;
    for (auto _ : state) {
        DecodedImage image;
        std::string reason;
        if (!DecodeImage(file.data(), file.size(), ImageLimits{}, memory, image, reason)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        benchmark::DoNotOptimize(image.rgba);
        FreeDecodedImage(image, memory);
    }
    state.counters["file_KiB"] = static_cast<double>(file.size()) / 1024.0;
    state.counters["peak_MiB"] = static_cast<double>(memory.peak) / (1024.0 * 1024.0);
    state.SetItemsProcessed(state.iterations() * 2048 * 2048);
}

// A 2048 x 2048 picture: 16 MiB of pixels.
void BM_DecodePng2048(benchmark::State& state) {
    Decode(state, image_bytes::Png(2048, 2048, Pixels2048()));
}
BENCHMARK(BM_DecodePng2048)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg2048(benchmark::State& state) {
    Decode(state, image_bytes::Jpeg(2048, 2048, Pixels2048(), 90));
}
BENCHMARK(BM_DecodeJpeg2048)->Unit(benchmark::kMillisecond);

// Level 0 and the whole chain of a 4096 x 4096 image (64 MiB of pixels, 85 MiB of texels),
// and of an 8192 x 8192 one scaled down to 4096 x 4096 (256 MiB of pixels).
void BM_BuildTexture(benchmark::State& state) {
    const auto side = static_cast<int>(state.range(0));
    std::vector<uint8_t> pixels(static_cast<size_t>(side) * side * 4);
    const std::vector<uint8_t>& tile = Pixels2048();
    for (int y = 0; y < side; ++y) {
        const uint8_t* row = &tile[static_cast<size_t>(y % 2048) * 2048 * 4];
        for (int x = 0; x < side; x += 2048)
            std::copy(row, row + 2048 * 4, &pixels[(static_cast<size_t>(y) * side + x) * 4]);
    }
    TextureMemory memory;
    for (auto _ : state) {
        Texture texture;
        std::string reason;
        if (!BuildTexture(pixels.data(), side, side, TextureUse::kColor, kDefaultMaxTextureSide,
                          memory, texture, reason)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        benchmark::DoNotOptimize(texture.texels.get());
        FreeTexture(texture, memory);
    }
    state.counters["texels_MiB"] = static_cast<double>(memory.peak) / (1024.0 * 1024.0);
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_BuildTexture)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

// One sample per pixel of a 640 x 480 floor receding from the viewer: the level of detail
// from the derivatives of (s, t), then the sample, as a rasteriser calls them.
void BM_SampleFloor(benchmark::State& state) {
    Texture texture;
    TextureMemory memory;
    std::string reason;
    BuildTexture(Pixels2048().data(), 2048, 2048, TextureUse::kColor, 2048, memory, texture,
                 reason);
    MapSampler sampler;
    const MaterialMap parameters{1, nullptr, 1.0f, 0, 8.0f, 1.0f, 0.0f, 0.0f, 0.0f};
    PrepareMapSampler(texture, parameters, static_cast<TextureFilter>(state.range(0)), sampler);
    for (auto _ : state) {
        uint32_t sum = 0;
        for (int y = 0; y < 480; ++y) {
            // Depth grows toward the top of the frame; the floor tiles 8 times across.
            const float depth = 1.0f + static_cast<float>(480 - y) * 0.05f;
            const float t = 1.0f / depth, step = 1.0f / (640.0f * depth);
            const float dtdy = t * t * 0.05f;
            for (int x = 0; x < 640; ++x) {
                float s = 0, tt = 0;
                MapCoordinates(sampler, static_cast<float>(x) * step, t, s, tt);
                const int32_t lod = MapLevelOfDetail(sampler, step * 8.0f, 0.0f, 0.0f, dtdy);
                sum += SampleMap(sampler, s, tt, lod);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
    FreeTexture(texture, memory);
}
BENCHMARK(BM_SampleFloor)
    ->Arg(static_cast<int>(TextureFilter::kNearest))
    ->Arg(static_cast<int>(TextureFilter::kBilinear))
    ->Arg(static_cast<int>(TextureFilter::kTrilinear))
    ->Unit(benchmark::kMillisecond);

// The maps of one scene loaded into one budget: 12 files of 2048 x 2048 (PNG and JPEG), then
// 4 of 8192 x 4096 that do not all fit in the default 512 MiB. Prints what is held at the end
// and the most held at once, and how many maps were refused.
void BM_SceneMapsMemory(benchmark::State& state) {
    const std::string folder = "/tmp/trellis_texture_bench";
    std::vector<std::string> paths;
    std::FILE* file = nullptr;
    const auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = folder + "_" + name;
        file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) return;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        paths.push_back(path);
    };
    const std::vector<uint8_t> png = image_bytes::Png(2048, 2048, Pixels2048());
    const std::vector<uint8_t> jpeg = image_bytes::Jpeg(2048, 2048, Pixels2048(), 85);
    for (int i = 0; i < 12; ++i)
        write("map" + std::to_string(i) + (i % 2 ? ".jpg" : ".png"), i % 2 ? jpeg : png);
    std::vector<uint8_t> wide;
    for (int y = 0; y < 4096; ++y) {
        for (int x = 0; x < 8192; ++x) {
            const uint8_t* p = &Pixels2048()[(static_cast<size_t>(y % 2048) * 2048 + x % 2048) * 4];
            wide.insert(wide.end(), p, p + 4);
        }
    }
    const std::vector<uint8_t> wideJpeg = image_bytes::Jpeg(8192, 4096, wide, 85);
    for (int i = 0; i < 4; ++i)
        write("wide" + std::to_string(i) + ".jpg", wideJpeg);

    double held = 0, peak = 0, refused = 0;
    for (auto _ : state) {
        TextureMemory memory;
        std::vector<Texture> textures(paths.size());
        refused = 0;
        for (size_t i = 0; i < paths.size(); ++i) {
            std::string reason;
            if (!LoadTextureFile(paths[i], TextureUse::kColor, ImageLimits{}, memory, textures[i],
                                 reason)) {
                ++refused;
            }
        }
        held = static_cast<double>(memory.used) / (1024.0 * 1024.0);
        peak = static_cast<double>(memory.peak) / (1024.0 * 1024.0);
        for (Texture& texture : textures)
            FreeTexture(texture, memory);
    }
    state.counters["held_MiB"] = held;
    state.counters["peak_MiB"] = peak;
    state.counters["refused"] = refused;
    for (const std::string& path : paths)
        std::remove(path.c_str());
}
BENCHMARK(BM_SceneMapsMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// A scene whose 20 materials each name a 2048 x 2048 map of their own (JPEG, or PNG with
// `png`), written with the maps beside it in a folder of its own. Returns the scene's path.
std::string SceneWith20Maps(bool png) {
    const std::string folder =
        std::string("/tmp/trellis_texture_bench_scene") + (png ? "_png" : "");
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> image = png ? image_bytes::Png(2048, 2048, Pixels2048())
                                           : image_bytes::Jpeg(2048, 2048, Pixels2048(), 85);
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (int i = 0; i < 20; ++i) {
                const std::string name = "MAP" + std::to_string(i) + (png ? ".PNG" : ".JPG");
                WriteMaterial(w, "Material" + std::to_string(i), [&] {
                    w.Chunk(chunk::TextureMap,
                            [&] { w.Chunk(chunk::MapName, [&] { w.Name(name); }); });
                });
                // Named in upper case, stored in lower case, as old tools' files are.
                const std::string file =
                    folder + "/map" + std::to_string(i) + (png ? ".png" : ".jpg");
                WriteBytesToFile(image, file.c_str());
            }
        });
    });
    const std::string path = folder + "/scene.3ds";
    WriteBytesToFile(w.bytes, path.c_str());
    return path;
}

// Opening that scene: its maps found and decoded before it shows (--output, the web page).
// Counters: the maps' memory at the end and at most, and the maps drawn.
void BM_OpenSceneWith20Maps(benchmark::State& state) {
    const std::string path = SceneWith20Maps(state.range(0) != 0);
    Scene* scene = LoadScene(path.c_str());
    if (scene == nullptr) {
        state.SkipWithError("the scene does not load");
        return;
    }
    SceneMaps maps;
    for (auto _ : state)
        LoadSceneMaps(*scene, path, SceneMapOptions{}, maps);
    state.counters["held_MiB"] = static_cast<double>(maps.memory.used) / (1024.0 * 1024.0);
    state.counters["peak_MiB"] = static_cast<double>(maps.memory.peak) / (1024.0 * 1024.0);
    state.counters["limit_MiB"] = static_cast<double>(maps.memory.limit) / (1024.0 * 1024.0);
    state.counters["drawn"] = static_cast<double>(maps.textures.size());
    FreeSceneMaps(maps);
    FreeScene(scene);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_OpenSceneWith20Maps)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same scene in the windowed viewer, which decodes its maps on a thread of their own:
// the time measured is what the viewer waits before it goes on ticking; ready_ms is when the
// maps are taken over at a tick (polled every millisecond, as ticks come every 20).
void BM_OpenSceneWith20MapsInTheViewer(benchmark::State& state) {
    const std::string path = SceneWith20Maps(false);
    Scene* scene = LoadScene(path.c_str());
    if (scene == nullptr) {
        state.SkipWithError("the scene does not load");
        return;
    }
    ViewerMaps maps;
    maps.background = true;
    double ready = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        LoadViewerMaps(maps, *scene, path, "scene.3ds");
        state.PauseTiming();
        while (!TakeLoadedMaps(maps, *scene) && !maps.ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ready = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        DropViewerMaps(maps);
        state.ResumeTiming();
    }
    state.counters["ready_ms"] = ready;
    FreeScene(scene);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_OpenSceneWith20MapsInTheViewer)->Unit(benchmark::kMicrosecond)->Iterations(1);

}  // namespace
