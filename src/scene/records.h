// The scene records that one load produces, and the arena that owns their memory.
//
// Plain data with public fields. Engine axes differ from the file's: a file triple
// (x, y, z) is stored as (x, z, y) for vertex positions, light positions, spotlight
// targets and keyframe positions/axes; the mesh matrix, the camera chunk's raw values,
// texture coordinates, colours and map parameters keep the file's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "math/matrix.h"

struct Vertex {
    float x, y, z;     // position in engine axes
    float u, v;        // texture coordinates in the file's order
    float nx, ny, nz;  // unit vertex normal (derived after loading)
};

struct Face {
    int32_t material;    // index into Scene::materials; -1 when its group named no material
                         // and when no face-material group lists the face
    uint32_t smoothing;  // smoothing-group bits (one bit per group); 0 (flat, no group) when
                         // the mesh's smoothing chunk does not reach the face
    Vertex* vertex0;     // the file's first index
    Vertex* vertex1;     // the file's third index
    Vertex* vertex2;     // the file's second index
    float plane[4];      // a, b, c (unit normal), d: a x + b y + c z + d = 0 on the face
};

struct MeshObject {
    int32_t nodeId;  // node id of the keyframer object node that names this object, else 0
    char* name;
    int32_t vertexCount;
    int32_t faceCount;
    Face* faces;       // faceCount faces, null without a face list
    Vertex* vertices;  // vertexCount vertices, null without a vertex list
    Matrix4 matrix;    // the file's mesh matrix; the viewer resets it and spins it
    int32_t parentId;  // parent node id (0xFFFF stored as 65535)
    int32_t positionKeyCount;
    int32_t rotationKeyCount;
    float* positionKeyFrames;
    float* positionKeyX;
    float* positionKeyY;
    float* positionKeyZ;
    float* rotationKeyFrames;
    float* rotationKeyAngle;
    float* rotationKeyAxisX;
    float* rotationKeyAxisY;
    float* rotationKeyAxisZ;
    int32_t texCoordCount;  // vertices that were given texture coordinates: the first
                            // texCoordCount; the others have u = v = 0. 0 without any.
};

// One map of a material (the texture map and the opacity map). Parameters the file does not
// give keep the defaults noted beside them.
struct MaterialMap {
    int32_t present;  // 1 when the map's chunk was read
    char* fileName;   // the image's name: at most 63 characters; null when none
    float amount;     // the map's strength, 0..1 (percentage / 100); 1 when none
    uint16_t tiling;  // flags word as read (kMap* bits below); 0 when none
    float uScale;     // 1 when none
    float vScale;     // 1 when none
    float uOffset;    // 0 when none
    float vOffset;    // 0 when none
    float rotation;   // degrees as in the file; 0 when none
};

// Bits of MaterialMap::tiling.
inline constexpr uint16_t kMapDecal = 0x0001;  // the image once, not tiled (with kMapNoTile:
                                               // 0x0011 means both)
inline constexpr uint16_t kMapMirror = 0x0002;
inline constexpr uint16_t kMapNegative = 0x0008;
inline constexpr uint16_t kMapNoTile = 0x0010;
inline constexpr uint16_t kMapSummedArea = 0x0020;
inline constexpr uint16_t kMapAlphaSource = 0x0040;
inline constexpr uint16_t kMapTint = 0x0080;
inline constexpr uint16_t kMapIgnoreAlpha = 0x0100;
inline constexpr uint16_t kMapRgbTint = 0x0200;

// Bits of Material::colorsRead.
inline constexpr uint32_t kMaterialAmbientRead = 0x1;
inline constexpr uint32_t kMaterialDiffuseRead = 0x2;
inline constexpr uint32_t kMaterialSpecularRead = 0x4;

// A material: colours red, green, blue in 0..1; fractions in 0..1 (the file's percentages
// divided by 100; values outside that range are kept as the file gives them). A field the
// file does not give keeps the default noted beside it.
struct Material {
    char* name;
    float ambient[3];           // default 0.588, 0.588, 0.588
    float diffuse[3];           // default 0.588, 0.588, 0.588
    float specular[3];          // default 0.898, 0.898, 0.898
    uint32_t colorsRead;        // kMaterial*Read bits: the colours read from the file
    float shininess;            // default 0
    float shininessStrength;    // default 0
    float transparency;         // default 0
    float transparencyFalloff;  // default 0
    float reflectionBlur;       // default 0
    float selfIllumination;     // default 0
    int32_t twoSided;           // 1 when the two-sided flag chunk was read, else 0
    int32_t additive;           // 1 when the additive-transparency flag was read, else 0
    int32_t wire;               // 1 when the wire flag was read, else 0
    float wireSize;             // wire thickness; default 1
    int32_t shading;            // 0 wire, 1 flat, 2 Gouraud, 3 Phong, 4 metal, as read;
                                // default 3
    MaterialMap textureMap;
    MaterialMap opacityMap;
};

struct Light {
    char* name;
    int32_t isSpot;
    int32_t isOff;
    int32_t rayShadow;
    float position[3];  // engine axes
    float target[3];    // spotlight target, engine axes
    float hotspot;
    float falloff;
    float innerRange;
    float outerRange;
    float multiplier;
    float color[3];         // red, green, blue as in the file
    int32_t color255[3];    // 255 * color, truncated toward zero
    float emitColor[3];     // red, green, blue 0..1 from the colour chunks directly under the
                            // light, whichever kind (a linear one wins); 1, 1, 1 when none
    int32_t emitColorRead;  // 1 when such a colour was read
};

struct Camera {
    char* name;
    Matrix4 matrix;     // camera to scene, from the first keys of its tracks
    float position[3];  // camera chunk values, file order
    float target[3];
    float bank;
    float lens;
    int32_t targetKeyCount;
    int32_t positionKeyCount;
    float* targetKeyFrames;
    float* targetKeyX;
    float* targetKeyY;
    float* targetKeyZ;
    float* positionKeyFrames;
    float* positionKeyX;
    float* positionKeyY;
    float* positionKeyZ;
};

// Spline parameters of one key, from the optional values after its key header: flag bits
// 0 to 4 announce tension, continuity, bias, ease to and ease from, in that order. A value
// the header does not announce is 0.
struct KeySpline {
    float tension;
    float continuity;
    float bias;
    float easeTo;
    float easeFrom;
    uint16_t flags;  // the key header's flags word as read
};

// Which track of a keyframer node: the id of the chunk it is read from.
inline constexpr uint16_t NodePositionTrack = 0xB020;  // x, y, z
inline constexpr uint16_t NodeRotationTrack = 0xB021;  // angle, axis x, y, z
inline constexpr uint16_t NodeScaleTrack = 0xB022;     // x, y, z
inline constexpr uint16_t NodeFovTrack = 0xB023;       // degrees
inline constexpr uint16_t NodeRollTrack = 0xB024;      // degrees
inline constexpr uint16_t NodeHideTrack = 0xB029;      // no value

// One key track of a keyframer node, keys in file order. `values` holds `components`
// floats per key: position and scale (x, y, z) and rotation (angle, axis x, y, z) in engine
// axes like the MeshObject and Camera tracks; field of view and roll one value (degrees);
// hide tracks none (each key toggles whether the node is shown). A track without keys has
// null arrays. A node's tracks are a list (see KeyframerNodeExtras); NodeTrack finds one.
struct KeyTrack {
    int32_t keyCount;
    int32_t components;
    uint16_t flags;      // the track header's flags word (bits 0-1: 2 repeat, 3 loop)
    uint16_t kind;       // which track: one of the Node*Track ids
    KeyTrack* next;      // the node's track read before this one, or null
    uint32_t* frames;    // the full 32-bit frame numbers
    float* values;       // keyCount * components
    KeySpline* splines;  // keyCount
};

// What only some keyframer nodes have: an instance name, a pivot, key tracks. Kept apart
// from the node and allocated with the first chunk that brings any of them, so that a node
// chunk with nothing in it costs a few times its 6 bytes, not dozens.
struct KeyframerNodeExtras {
    char* instanceName;  // from its instance-name chunk; null without one
    int32_t hasPivot;    // 1 when a pivot chunk was read
    float pivot[3];      // engine axes; 0 without a pivot chunk
    KeyTrack* tracks;    // every track read, the last first; null without any
};

// Chunk ids of the keyframer's node tags: the kind of a KeyframerNode.
inline constexpr uint16_t KeyframerAmbientNode = 0xB001;
inline constexpr uint16_t KeyframerObjectNode = 0xB002;
inline constexpr uint16_t KeyframerCameraNode = 0xB003;
inline constexpr uint16_t KeyframerTargetNode = 0xB004;
inline constexpr uint16_t KeyframerLightNode = 0xB005;
inline constexpr uint16_t KeyframerLightTargetNode = 0xB006;
inline constexpr uint16_t KeyframerSpotlightNode = 0xB007;

// One node of the keyframer section, in file order, whatever its kind; what animation needs
// to evaluate the hierarchy. Kept beside the MeshObject and Camera tracks, which keep their
// own meaning.
struct KeyframerNode {
    uint16_t kind;    // the node's tag, one of the Keyframer*Node ids
    uint16_t flags1;  // the two flag words of its header, 0 without a header
    uint16_t flags2;
    int32_t nodeId;       // from its node-id chunk; its index among the nodes without one
    int32_t parentId;     // from its header; 65535 (no parent) without a header
    int32_t recordIndex;  // objects (object node), cameras (camera and target nodes) or
                          // lights (light nodes) index of the record its name resolved
                          // to; -1 when none
    char* name;           // the header's name (at most 63 characters); null without a header
    KeyframerNodeExtras* extras;  // null when the node has no instance name, pivot or track
};

// The node's extras, or a record of none (no instance name, no pivot, no tracks).
const KeyframerNodeExtras& NodeExtras(const KeyframerNode& node);

// The node's track of `kind` (one of the Node*Track ids; of several, the last in the file),
// or an empty track (keyCount 0, null arrays).
const KeyTrack& NodeTrack(const KeyframerNode& node, uint16_t kind);

// Memory of one load: a list of heap blocks, released together by FreeScene.
struct ArenaBlock;
struct SceneArena {
    ArenaBlock* blocks = nullptr;  // most recent first
    size_t bytesReserved = 0;      // total of all blocks, headers included
};

struct Scene {
    uint32_t segmentStart;
    uint32_t segmentEnd;
    int32_t objectCount;
    int32_t cameraCount;
    int32_t lightCount;
    int32_t materialCount;
    MeshObject* objects;
    Camera* cameras;
    Light* lights;
    Material* materials;
    int32_t nodeCount;  // keyframer nodes of every kind, in file order
    KeyframerNode* nodes;
    float backgroundColor[3];  // the solid background colour, 0..1; 0, 0, 0 when none
    int32_t backgroundRead;    // 1 when the background colour was read
    int32_t useBackground;     // 1 when the file says to use the solid background
    float ambientLight[3];     // the ambient light colour, 0..1; 0, 0, 0 when none
    int32_t ambientRead;       // 1 when the ambient colour was read
    SceneArena arena;          // owns every array, name and key track above
};

// A new Scene with every field zero, or nullptr when the heap is exhausted.
Scene* NewScene();

// Releases the scene and everything its arena holds. Null is allowed. Like LoadScene,
// not for concurrent use. The arena's blocks
// are kept for the next load (see ReleaseArenaCache); blocks kept from an earlier scene
// go back to the heap, so the process holds at most one freed scene's memory.
void FreeScene(Scene* scene);

// Returns the blocks kept by the last FreeScene to the heap.
void ReleaseArenaCache();

// Bytes (headers included) of the blocks kept for the next load.
size_t ArenaCacheBytes();

// Where arena blocks come from: the heap unless a program supplies its own (the platform
// layer can offer memory in huge pages, which the kernel hands out far faster than the
// 4 KiB pages of a large scene's records). `allocate` returns memory aligned to 16 bytes,
// or nullptr; `release` gets back the same pointer and byte count.
struct ArenaMemory {
    void* (*allocate)(size_t bytes);
    void (*release)(void* block, size_t bytes);
    // Why `allocate` returned nullptr, when it refused a block under a limit of the
    // program's rather than ran out; nullptr otherwise. May itself be null.
    const char* (*refusal)() = nullptr;
};

// The reason the memory gave for refusing a block since the last NewScene, or nullptr (the
// loader reports it as the reason of the failed load).
const char* ArenaRefusalReason();

// Installs `memory` (nullptr: the heap again) for the blocks allocated from now on, after
// returning the kept blocks. Every block goes back to the memory it came from.
void SetArenaMemory(const ArenaMemory* memory);

// `bytes` of uninitialised memory aligned to `align` (a power of two, at most 16),
// owned by the arena; nullptr when the heap is exhausted. Zero bytes gives a valid
// non-null pointer that must not be dereferenced.
void* ArenaAllocate(SceneArena& arena, size_t bytes, size_t align);

// `count` uninitialised elements of T, or nullptr when the heap is exhausted or
// count * sizeof(T) overflows.
template <class T>
T* ArenaAllocateArray(SceneArena& arena, size_t count) {
    static_assert(alignof(T) <= 16);
    if (count > SIZE_MAX / sizeof(T)) return nullptr;
    return static_cast<T*>(ArenaAllocate(arena, count * sizeof(T), alignof(T)));
}

// A NUL-terminated copy of `text` owned by the arena, exactly its length plus one
// byte; nullptr when the heap is exhausted.
char* ArenaCopyName(SceneArena& arena, const char* text);
