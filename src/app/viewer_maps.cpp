// The viewer's texture maps: loaded with the scene, at once or on a thread of their own.
#include "app/viewer_maps.h"

#include <atomic>
#include <cassert>
#include <cstdio>
#include <exception>
#include <utility>

#include "scene/printable.h"

#ifndef TRELLIS_NO_THREADS
#include <thread>
#endif

namespace {

// The background load: one at a time, for the scene shown. The thread reads the scene's
// material records (which nothing changes while it runs) and fills `maps`; the viewer
// takes them over once `done` is set, and waits for the thread before the scene goes.
struct MapJob {
#ifndef TRELLIS_NO_THREADS
    std::thread thread;
#endif
    std::atomic<bool> done{false};
    std::atomic<bool> cancel{false};
    SceneMaps maps;
    std::string name;  // the scene's name in messages

    ~MapJob() {
        Stop();
    }

    // Stops the thread, if one runs, when it has finished its current map.
    void Stop() {
        cancel.store(true, std::memory_order_relaxed);
#ifndef TRELLIS_NO_THREADS
        if (thread.joinable()) thread.join();
#endif
    }
};

MapJob job;

// Whether a material of `scene` has a texture or opacity map.
bool HasMaps(const Scene& scene) {
    for (int32_t i = 0; i < scene.materialCount; ++i) {
        const Material& m = scene.materials[i];
        if (m.textureMap.present != 0 || m.opacityMap.present != 0) return true;
    }
    return false;
}

SceneMapOptions Options(const ViewerMaps& maps) {
    SceneMapOptions options;
    options.folders = maps.folders;
    options.memoryLimit = maps.memoryLimit;
    return options;
}

// The maps are ready: their samplers prepared, their problems named on stderr.
void MakeReady(ViewerMaps& maps, const Scene& scene, const std::string& name) {
    PrepareSceneSamplers(scene, maps.maps, TextureFilter::kTrilinear, maps.samplers);
    maps.ready = true;
    const std::string shown = PrintableName(name.c_str());
    for (const std::string& line : SceneMapProblems(scene, maps.maps))
        std::fprintf(stderr, "trellis: %s: %s\n", shown.c_str(), line.c_str());
}

#ifndef TRELLIS_NO_THREADS
// Runs on the job's thread.
void LoadInBackground(const Scene* scene, std::string path, SceneMapOptions options) {
    try {
        options.cancel = &job.cancel;
        LoadSceneMaps(*scene, path, options, job.maps);
    } catch (const std::exception&) {
        // Out of memory while listing folders or keeping records: the maps loaded so far
        // are kept, the others are not drawn.
    }
    job.done.store(true, std::memory_order_release);
}

// Starts the background load; false when no thread can be started.
bool StartBackgroundLoad(const Scene& scene, const std::string& path, const std::string& name,
                         const SceneMapOptions& options) {
    assert(!job.thread.joinable());
    FreeSceneMaps(job.maps);
    job.name = name;
    job.done.store(false, std::memory_order_relaxed);
    job.cancel.store(false, std::memory_order_relaxed);
    try {
        job.thread = std::thread(LoadInBackground, &scene, path, options);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
#else
bool StartBackgroundLoad(const Scene&, const std::string&, const std::string&,
                         const SceneMapOptions&) {
    return false;
}
#endif

}  // namespace

void LoadViewerMaps(ViewerMaps& maps, const Scene& scene, const std::string& path,
                    const std::string& name) {
    if (!maps.shown || maps.ready || maps.loading) return;
    const SceneMapOptions options = Options(maps);
    if (maps.background && StartBackgroundLoad(scene, path, name, options)) {
        maps.loading = true;
        return;
    }
    LoadSceneMaps(scene, path, options, maps.maps);
    MakeReady(maps, scene, name);
}

bool TakeLoadedMaps(ViewerMaps& maps, const Scene& scene) {
    if (!maps.loading || !job.done.load(std::memory_order_acquire)) return false;
    job.Stop();
    maps.loading = false;
    FreeSceneMaps(maps.maps);
    maps.maps = std::move(job.maps);
    job.maps = SceneMaps{};
    MakeReady(maps, scene, job.name);
    return true;
}

void DropViewerMaps(ViewerMaps& maps) {
    StopViewerMaps(maps);
    FreeSceneMaps(job.maps);
    FreeSceneMaps(maps.maps);
    maps.samplers = SceneSamplers{};
    maps.ready = false;
}

void StopViewerMaps(ViewerMaps& maps) {
    if (!maps.loading) return;
    job.Stop();
    maps.loading = false;
}

void DescribeViewerMaps(const ViewerMaps& maps, const Scene* scene, char* line, size_t size) {
    if (size == 0) return;
    std::string text;
    if (scene == nullptr) {
        text = "";
    } else if (maps.loading) {
        text = "maps: loading";
    } else if (!HasMaps(*scene)) {
        text = "maps: none";
    } else if (!maps.ready) {
        text = "maps: not loaded (textures off; T turns them on)";
    } else {
        const SceneMapCounts counts = CountSceneMaps(maps.maps);
        text = "maps: " + std::to_string(counts.found) + " found";
        if (counts.missing > 0) text += ", " + std::to_string(counts.missing) + " missing";
        if (counts.failed > 0) text += ", " + std::to_string(counts.failed) + " unusable";
        if (!maps.shown) text += " (textures off)";
        // The files that are not drawn, each once, as many as the line holds.
        std::string names;
        std::vector<std::string> named;
        for (const SceneMap& map : maps.maps.maps) {
            if (map.reason.empty()) continue;
            std::string quoted = QuotedName(MapRecord(*scene, map).fileName);
            bool seen = false;
            for (const std::string& n : named)
                seen = seen || n == quoted;
            if (seen) continue;
            named.push_back(quoted);
            names += (names.empty() ? ": " : ", ") + quoted;
        }
        text += names;
    }
    if (text.size() >= size) {
        text.resize(size - 1);
        if (size > 4) text.replace(size - 4, 3, "...");
    }
    std::snprintf(line, size, "%s", text.c_str());
}
