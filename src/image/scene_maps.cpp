// The maps of one scene, found and decoded (see scene_maps.h).
#include "image/scene_maps.h"

#include <algorithm>

#include "scene/map_files.h"
#include "scene/printable.h"

const MaterialMap& MapRecord(const Scene& scene, const SceneMap& map) {
    const Material& material = scene.materials[map.material];
    return map.kind == SceneMapKind::kTexture ? material.textureMap : material.opacityMap;
}

void FreeSceneMaps(SceneMaps& maps) {
    for (Texture& texture : maps.textures)
        FreeTexture(texture, maps.memory);
    maps.textures.clear();
    maps.maps.clear();
    maps.textureMap.clear();
    maps.opacityMap.clear();
}

void LoadSceneMaps(const Scene& scene, const std::string& scenePath, const SceneMapOptions& options,
                   SceneMaps& maps) {
    FreeSceneMaps(maps);
    maps.memory = TextureMemory{};
    maps.memory.limit = options.memoryLimit;
    const int32_t count = std::max(scene.materialCount, 0);
    maps.textureMap.assign(static_cast<size_t>(count), -1);
    maps.opacityMap.assign(static_cast<size_t>(count), -1);
    MapFinder finder;
    bool finderOpen = false;
    // The file and use of each texture, and the reason of each file that failed, so that a
    // file used by several maps is read once.
    std::vector<std::pair<std::string, TextureUse>> loaded;
    std::vector<std::pair<std::pair<std::string, TextureUse>, std::string>> failed;
    for (int32_t m = 0; m < count; ++m) {
        if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) return;
        const Material& material = scene.materials[m];
        for (const SceneMapKind kind : {SceneMapKind::kTexture, SceneMapKind::kOpacity}) {
            const MaterialMap& record =
                kind == SceneMapKind::kTexture ? material.textureMap : material.opacityMap;
            if (record.present == 0) continue;
            SceneMap map;
            map.material = m;
            map.kind = kind;
            (kind == SceneMapKind::kTexture ? maps.textureMap : maps.opacityMap)[m] =
                static_cast<int32_t>(maps.maps.size());
            if (record.fileName == nullptr || record.fileName[0] == '\0') {
                map.reason = "no file name";
                maps.maps.push_back(std::move(map));
                continue;
            }
            if (!finderOpen) {
                OpenMapFinder(finder, SceneFolder(scenePath), options.folders);
                finderOpen = true;
            }
            map.path = FindMapFile(finder, record.fileName);
            if (map.path.empty()) map.reason = "not found";
            if (map.path.empty() || !options.decode) {
                maps.maps.push_back(std::move(map));
                continue;
            }
            const TextureUse use =
                kind == SceneMapKind::kTexture ? TextureUse::kColor : OpacityUse(record.tiling);
            const std::pair<std::string, TextureUse> key(map.path, use);
            const auto done = std::find(loaded.begin(), loaded.end(), key);
            if (done != loaded.end()) {
                map.texture = static_cast<int32_t>(done - loaded.begin());
            } else {
                const auto bad = std::find_if(failed.begin(), failed.end(),
                                              [&](const auto& f) { return f.first == key; });
                if (bad != failed.end()) {
                    map.reason = bad->second;
                } else {
                    Texture texture;
                    std::string reason;
                    if (LoadTextureFile(map.path, use, options.limits, maps.memory, texture,
                                        reason)) {
                        map.texture = static_cast<int32_t>(maps.textures.size());
                        maps.textures.push_back(std::move(texture));
                        loaded.push_back(key);
                    } else {
                        map.reason = PrintableBytes(reason.data(), reason.size());
                        failed.emplace_back(key, map.reason);
                    }
                }
            }
            maps.maps.push_back(std::move(map));
        }
    }
}

std::vector<std::string> SceneMapProblems(const Scene& scene, const SceneMaps& maps) {
    std::vector<std::string> lines;
    std::vector<std::string> named;
    for (const SceneMap& map : maps.maps) {
        if (map.reason.empty()) continue;
        const char* name = MapRecord(scene, map).fileName;
        const std::string key = (name != nullptr ? name : "") + std::string(1, '\0') + map.path;
        if (std::find(named.begin(), named.end(), key) != named.end()) continue;
        named.push_back(key);
        std::string line = "map " + QuotedName(name);
        if (!map.path.empty()) line += " (" + QuotedName(map.path.c_str()) + ")";
        line += ": " + map.reason;
        if (name == nullptr || name[0] == '\0') {
            line += " (material " + QuotedName(scene.materials[map.material].name) + ")";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

SceneMapCounts CountSceneMaps(const SceneMaps& maps) {
    SceneMapCounts counts;
    for (const SceneMap& map : maps.maps) {
        if (map.path.empty()) {
            counts.missing++;
        } else if (map.reason.empty()) {
            counts.found++;
        } else {
            counts.failed++;
        }
    }
    return counts;
}

void PrepareSceneSamplers(const Scene& scene, const SceneMaps& maps, TextureFilter filter,
                          SceneSamplers& samplers) {
    const auto count = static_cast<size_t>(std::max(scene.materialCount, 0));
    samplers.texture.assign(count, MapSampler{});
    samplers.opacity.assign(count, MapSampler{});
    for (const SceneMap& map : maps.maps) {
        if (map.texture < 0) continue;
        std::vector<MapSampler>& kind =
            map.kind == SceneMapKind::kTexture ? samplers.texture : samplers.opacity;
        PrepareMapSampler(maps.textures[static_cast<size_t>(map.texture)], MapRecord(scene, map),
                          filter, kind[static_cast<size_t>(map.material)]);
    }
}
