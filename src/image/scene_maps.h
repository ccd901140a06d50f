// The maps of one scene, found and decoded: what drawing and the scene reports read.
//
// Every material's texture map and opacity map that names a file is looked up with the
// finder of scene/map_files.h (beside the scene, its maps/ and textures/ folders, then the
// folders the caller gives) and decoded once per file and use into a texture, all of them
// counted in one TextureMemory. A map whose file is missing, broken or too large for what is
// left fails alone, with its reason; the faces of its material keep the material's colour.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_decode.h"
#include "render/texture.h"
#include "scene/records.h"

struct SceneMapOptions {
    std::vector<std::string> folders;  // searched after the scene's own (--textures DIR)
    ImageLimits limits;
    uint64_t memoryLimit = kDefaultTextureMemory;  // for all the scene's maps together
    // False: the files are only found, none is read or decoded (each map found keeps
    // texture -1 and an empty reason).
    bool decode = true;
    // When set (from another thread), the load stops before its next map; `maps` then
    // holds the maps done so far, for the caller to free.
    const std::atomic<bool>* cancel = nullptr;
};

enum class SceneMapKind : uint8_t { kTexture, kOpacity };

// One map a material names.
struct SceneMap {
    int32_t material = -1;  // index into Scene::materials
    SceneMapKind kind = SceneMapKind::kTexture;
    std::string path;      // the file found; "" when none was
    std::string reason;    // "" when the map is drawn (or found, when not decoded); else
                           // "not found", "no file name", or why its file could not be used
                           // (one line, printable)
    int32_t texture = -1;  // index into SceneMaps::textures; -1 when the map is not drawn
};

// The textures stay where they are (MapSampler points at them) until LoadSceneMaps is called
// again or FreeSceneMaps; reading them from several threads at once is safe.
struct SceneMaps {
    std::vector<Texture> textures;    // one per file and use
    std::vector<SceneMap> maps;       // materials in order, each texture map before its opacity map
    std::vector<int32_t> textureMap;  // per material: its texture map in `maps`, -1 for none
    std::vector<int32_t> opacityMap;  // per material: its opacity map in `maps`, -1 for none
    TextureMemory memory;             // what the textures hold (and held at most: peak)
};

// Finds and decodes the maps of every material of `scene`, read from `scenePath` ("-" for
// standard input, which has no folder of its own). Whatever `maps` held is freed first.
void LoadSceneMaps(const Scene& scene, const std::string& scenePath, const SceneMapOptions& options,
                   SceneMaps& maps);

// Frees every texture of `maps` and empties it.
void FreeSceneMaps(SceneMaps& maps);

// One line for each map file that cannot be drawn, each name once however many materials
// use it: e.g. map "CWALL02.JPG": not found.
std::vector<std::string> SceneMapProblems(const Scene& scene, const SceneMaps& maps);

// The record of `map` (a material's texture or opacity map).
const MaterialMap& MapRecord(const Scene& scene, const SceneMap& map);

// How many maps of `maps` have a file (found: decoded, or only found when not decoded), have
// none (missing: not found, or no file name), or have one that cannot be used (failed).
struct SceneMapCounts {
    int32_t found = 0;
    int32_t missing = 0;
    int32_t failed = 0;
};
SceneMapCounts CountSceneMaps(const SceneMaps& maps);

// Every material's maps prepared for drawing: per material (an index into Scene::materials),
// the sampler of its texture map and of its opacity map; a sampler whose texture is null is
// not drawn (no map, or its file missing or unusable). The samplers point into the
// SceneMaps they were prepared from and are valid while it holds its textures.
struct SceneSamplers {
    std::vector<MapSampler> texture;
    std::vector<MapSampler> opacity;
};

// Prepares `samplers` for the maps of `scene` held by `maps`, filtered with `filter`.
void PrepareSceneSamplers(const Scene& scene, const SceneMaps& maps, TextureFilter filter,
                          SceneSamplers& samplers);
