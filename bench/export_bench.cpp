// Exporting the generated 50 MB scene (large_scene.h) as a .glb, against loading it.
// Targets: the export within 2 times the load's time, and the peak memory of a process that
// loads and exports within 2 times that of a process that only loads.
//
// BM_Load times LoadScene (each load reusing the memory of the scene freed before it);
// BM_Export times ExportGltf of the loaded scene into a sink that counts the bytes and keeps
// none (x_load: its time over the load's). BM_PeakMemory runs each in a child process of its
// own and reads the children's peak resident sizes (ru_maxrss): load only, then load and
// export into a file. (Each child starts with the pages of this process, which gives back
// the memory of its own loads first.)
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "export/gltf.h"
#include "large_scene.h"
#include "scene/loader.h"

namespace {

using Clock = std::chrono::steady_clock;

double loadSeconds = 0.0;

GltfSink CountingSink(size_t* bytes) {
    GltfSink sink;
    sink.user = bytes;
    sink.begin = [](void*, const std::string&) { return true; };
    sink.write = [](void* user, const void*, size_t size) {
        *static_cast<size_t*>(user) += size;
        return true;
    };
    sink.end = [](void*) { return true; };
    return sink;
}

void BM_Load(benchmark::State& state) {
    const LargeSceneFile& file = TheLargeScene();
    double total = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        Scene* scene = LoadScene(file.path.c_str());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (scene == nullptr) state.SkipWithError("the scene does not load");
        FreeScene(scene);
    }
    loadSeconds = total / static_cast<double>(state.iterations());
}

void BM_Export(benchmark::State& state) {
    const LargeSceneFile& file = TheLargeScene();
    Scene* scene = LoadScene(file.path.c_str());
    if (scene == nullptr) {
        state.SkipWithError("the scene does not load");
        return;
    }
    double total = 0.0;
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        GltfReport report;
        const Clock::time_point start = Clock::now();
        const bool ok = ExportGltf(*scene, GltfOptions{}, CountingSink(&bytes), report);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        if (!ok) state.SkipWithError("the export fails");
    }
    FreeScene(scene);
    state.counters["glb_MB"] = static_cast<double>(bytes) / 1e6;
    if (loadSeconds > 0.0) {
        state.counters["x_load"] = total / static_cast<double>(state.iterations()) / loadSeconds;
    }
}

// The peak resident size in MB of a child process that runs `work`.
template <class Work>
double ChildPeakMegabytes(Work&& work) {
    const pid_t pid = fork();
    if (pid == 0) _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage = {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1.0;
    }
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_PeakMemory(benchmark::State& state) {
    const LargeSceneFile& file = TheLargeScene();
    const std::string out = file.path + ".glb";
    double load = 0.0, exported = 0.0;
    // The children start from this process's pages: give back what earlier loads kept.
    ReleaseArenaCache();
    malloc_trim(0);
    for (auto _ : state) {
        load = ChildPeakMegabytes([&] {
            Scene* scene = LoadScene(file.path.c_str());
            return scene != nullptr;
        });
        exported = ChildPeakMegabytes([&] {
            Scene* scene = LoadScene(file.path.c_str());
            if (scene == nullptr) return false;
            FILE* stream = std::fopen(out.c_str(), "wb");
            if (stream == nullptr) return false;
            GltfSink sink;
            sink.user = stream;
            sink.begin = [](void*, const std::string&) { return true; };
            sink.write = [](void* user, const void* bytes, size_t size) {
                return std::fwrite(bytes, 1, size, static_cast<FILE*>(user)) == size;
            };
            sink.end = [](void*) { return true; };
            GltfReport report;
            const bool ok = ExportGltf(*scene, GltfOptions{}, sink, report);
            return std::fclose(stream) == 0 && ok;
        });
    }
    std::remove(out.c_str());
    if (load < 0.0 || exported < 0.0) state.SkipWithError("a child failed");
    state.counters["load_MB"] = load;
    state.counters["load_export_MB"] = exported;
    state.counters["x_load"] = exported / load;
}

}  // namespace

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
