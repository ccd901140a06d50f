// Export of a loaded scene to glTF 2.0: a .glb (one file, the buffer and the images inside)
// or a .gltf (the JSON, with the buffer in a .bin and each image in a file beside it).
//
// What is carried over, in the file's own axes under one root node that turns the file's
// Z-up into glTF's Y-up (a rotation of -90 degrees about x):
// - meshes: positions, normals and texture coordinates (where the file gives them), one
//   primitive per face material; faces that touch a position that is not a finite number
//   are left out. A mesh named by several keyframer nodes is stored once and shared;
// - materials as metallic-roughness: base colour from the diffuse colour, alpha from the
//   transparency (alpha mode BLEND below 1), roughness 1 - shininess, no metal, double-sided
//   from the two-sided flag, emission the diffuse colour times the self-illumination; the
//   texture map as the base colour texture when it is a PNG or JPEG file found beside the
//   scene (any case), or in maps/ or textures/ there, embedded as it is, with a sampler from
//   its tiling flags and KHR_texture_transform for its scale, offset and rotation;
// - the keyframer's node hierarchy with each node's position, rotation and scale; a mesh
//   under its node is stored in the node's frame (its vertices moved by the inverse of its
//   mesh matrix and by its pivot), so that it lands where the viewer draws it; a mesh that
//   no node names stays where the file stores it;
// - cameras (perspective, the field of view of the lens or of the field-of-view track's
//   first value, roll) and lights (KHR_lights_punctual point and spot lights; a light
//   switched off has intensity 0), each on a node of its own aimed from its position at
//   its target;
// - the keyframer's animation, sampled at every frame of the segment (30 frames a second,
//   time 0 at the segment's first frame), LINEAR: each sample is exactly the viewer's
//   evaluation at that frame; rotations are unit quaternions, each in the same hemisphere
//   as the one before it; a hidden node's mesh has scale 0 while it is hidden.
// Names are UTF-8: a name that is valid UTF-8 stays as it is, any other is read as Latin-1,
// with control bytes written as \xNN.
//
// Every accessor has its min and max, every buffer view starts at a multiple of 4, and no
// number written is NaN or infinite. Nothing here touches the file system except the
// lookup of texture maps beside the scene; output goes through the caller's sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scene/records.h"

enum class GltfContainer {
    Binary,  // .glb: the JSON and the buffer (images included) in one file
    Text,    // .gltf: the JSON; the buffer in NAME.bin and images in files beside it
};

struct GltfOptions {
    GltfContainer container = GltfContainer::Binary;
    // The name of the main file as the sink will be asked for it ("model.glb"); for
    // GltfContainer::Text the companions are named after its stem ("model.bin").
    std::string fileName = "scene.glb";
    // The folder of the scene file, where texture maps are looked for; empty: none are.
    std::string sceneFolder;
    // The frame rate of the samples' times (30 when it is not a number above 0).
    double framesPerSecond = 30.0;
    // Told of each map file before it is read whole into memory (once per file, before
    // anything is written): its path and size. A program that bounds its memory by what it
    // reads counts it there, and keeps its outputs from replacing it. May be null.
    void (*readingMap)(void* user, const std::string& path, uint64_t bytes) = nullptr;
    void* readingMapUser = nullptr;
};

// Where the files go. `begin` starts the file `name` (the main file's name, or a companion
// name made of the main name's stem and safe characters, to be put beside it), `write`
// appends bytes to it and `end` completes it. Each returns false on failure, which ends
// the export (the sink discards what it has of the file). Companions come before the main
// file, so an export that fails leaves no main file.
struct GltfSink {
    void* user = nullptr;
    bool (*begin)(void* user, const std::string& name) = nullptr;
    bool (*write)(void* user, const void* bytes, size_t size) = nullptr;
    bool (*end)(void* user) = nullptr;
};

// What an export carried over and what it left out.
struct GltfReport {
    int32_t meshes = 0;  // glTF meshes (one per mesh with faces)
    int32_t primitives = 0;
    int32_t nodes = 0;
    int32_t cameras = 0;
    int32_t lights = 0;
    int32_t materials = 0;
    int32_t images = 0;
    int32_t animationChannels = 0;
    int32_t samples = 0;  // frames sampled per animated channel; 0 without animation
    size_t bytesWritten = 0;
    std::vector<std::string> notes;  // one line for each thing left out or changed, printable
    std::string error;               // why the export failed, printable; empty on success
};

// Exports `scene` as glTF 2.0 into `sink`. True on success; false with report.error set
// when the sink fails or memory runs out. Never fails on the scene's contents: what cannot
// be carried over is left out and noted. Allocates; reads the scene only.
bool ExportGltf(const Scene& scene, const GltfOptions& options, const GltfSink& sink,
                GltfReport& report);

// ExportGltf into memory: each file the export writes, by name.
bool ExportGltfToMemory(const Scene& scene, const GltfOptions& options,
                        std::map<std::string, std::vector<uint8_t>>& files, GltfReport& report);

// `text` as UTF-8 for a glTF name (see above). Null gives "".
std::string GltfName(const char* text);
