// A scene's texture maps in the viewer: found and decoded when the scene is opened, kept
// beside it for drawing, freed when it goes, and switched on and off with T.
//
// Where the maps are looked for and how much memory they may hold is scene_maps.h's: beside
// the scene's own file (each file of a list, each file dropped, finds its maps beside
// itself), then the folders of --textures, within one budget per scene. The windowed viewer
// decodes them on a thread of its own while it goes on ticking, so that a scene with large
// maps shows at once and its textures follow; everywhere else (--output, the web page,
// builds without threads) they are loaded before OpenScene returns.
//
// Drawing reads `samplers` when `shown && ready`, and nothing else of this record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/scene_maps.h"
#include "render/texture.h"
#include "scene/records.h"

struct ViewerMaps {
    // Settings, from the command line.
    std::vector<std::string> folders;              // --textures DIR, in order
    uint64_t memoryLimit = kDefaultTextureMemory;  // --texture-memory: per scene
    bool background = false;  // decode on a thread of its own (the windowed viewer)

    // T: textures drawn. Off from the start (--no-textures), no map is read or decoded until
    // T turns them on; turned off later, the maps decoded stay, ready for the next T.
    bool shown = true;

    // The maps of the scene shown: `ready` once every one is loaded (decoded, or failed
    // with its reason), with their samplers; empty until then, and while off.
    bool ready = false;
    bool loading = false;  // a background load is under way
    SceneMaps maps;
    SceneSamplers samplers;
};

// Loads the maps of `scene`, opened from `path` ("-" for standard input, which has no folder)
// and named `name` in messages, when textures are shown and the scene's maps are not loaded
// or loading yet; the maps of the scene before must have been dropped (DropViewerMaps).
// Each map file that cannot be drawn (not found, or unusable) is named on stderr once, with
// its reason: "trellis: NAME: map "CWALL02.JPG": not found". Loaded in the background, that
// happens when TakeLoadedMaps takes them over.
void LoadViewerMaps(ViewerMaps& maps, const Scene& scene, const std::string& path,
                    const std::string& name);

// Takes over the maps of a background load that has finished, and names its problems on
// stderr: true when it did. Otherwise changes nothing and allocates nothing (it is called
// every tick).
bool TakeLoadedMaps(ViewerMaps& maps, const Scene& scene);

// Stops a background load (waiting for the map being decoded) and frees every map: before
// the scene they belong to is freed.
void DropViewerMaps(ViewerMaps& maps);

// Stops a background load, keeping the maps already taken over: at the end of the run.
void StopViewerMaps(ViewerMaps& maps);

// What the maps of the scene shown are, in one line of printable ASCII for the help and the
// web page: e.g. `maps: 2 found, 1 missing ("WOOD.JPG")`, "maps: loading", "maps: none",
// "maps: not loaded (textures off; T turns them on)". Cut to fit `size` bytes.
void DescribeViewerMaps(const ViewerMaps& maps, const Scene* scene, char* line, size_t size);
