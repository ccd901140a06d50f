// The whole-frame renderer's state, shared by its two drawing paths: the wireframe
// (frame_render.cpp) and the solid modes (solid_frame.cpp). Internal to src/render.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "render/frame_render.h"
#include "render/line_stepper.h"
#include "render/raster.h"
#include "render/shade.h"

// Vertices in a vertex block, faces in a face block.
inline constexpr int32_t kBlock = 64;

// Solid frames of at least this many pixels are shared among the pool's threads whatever
// their faces (640 x 480 is; a 256 x 256 thumbnail is not).
inline constexpr int64_t kSolidPixelsForThreads = int64_t{1} << 18;

inline int32_t BlocksOf(int32_t count) {
    return static_cast<int32_t>((static_cast<int64_t>(count) + kBlock - 1) / kBlock);
}

// An array sized once and left uninitialised (no page is touched before it is used).
template <class T>
struct Scratch {
    std::unique_ptr<T[]> data;
    size_t size = 0;

    // Makes room for exactly `count` elements (reallocating only when that changes); may
    // throw std::bad_alloc.
    void Resize(size_t count) {
        if (count == size) return;
        data.reset();
        size = 0;
        if (count > 0) data.reset(new T[count]);
        size = count;
    }
    void Release() {
        data.reset();
        size = 0;
    }
    T* get() const { return data.get(); }
};

// The vertex blocks that hold every corner of a face block; first < 0: the block is never
// skipped (a corner outside the object's vertices, or corners spread too widely).
struct FaceBlock {
    int32_t firstVertexBlock;
    int32_t lastVertexBlock;
};

// What PrepareFrameRender or PrepareSceneRender noted of one object.
struct PreparedObject {
    // As it was seen: its face blocks and shading apply only to these arrays.
    const Face* faces;
    const Vertex* vertices;
    int32_t faceCount;
    int32_t vertexCount;
    int64_t firstFaceBlock;  // its face blocks' place, or -1 without face blocks
    // The solid modes' data (PrepareSceneRender, when shading is built).
    MeshShading shading;
    std::vector<uint8_t> faceFlags;  // per face: kFaceTransparent, kFaceWire
    bool hasTransparent;             // a face of a transparent material
    bool hasWire;                    // a face of a wire material
    bool hasOpacityMap;              // a face whose material names an opacity map
    bool texCoords;                  // the mesh has texture coordinates: maps are drawn on it
};

// Per-face flags from the face's material.
inline constexpr uint8_t kFaceTransparent = 1;
inline constexpr uint8_t kFaceWire = 2;
// The material names an opacity map and the mesh has texture coordinates: the face is
// transparent in frames that draw that map.
inline constexpr uint8_t kFaceOpacityMap = 4;

// A projected corner of the solid modes: snapped screen position and 1 / depth (0 for a
// corner that cannot be drawn as it is: SnapCorner's tests), and the frustum planes it lies
// beyond. 16 bytes: one corner, one cache line.
struct alignas(16) SolidVertex {
    int32_t x, y;
    float invZ;
    uint32_t outcode;
};

// One instance's part of a frame (of the chunk of instances being drawn).
struct InstanceWork {
    const MeshObject* object;
    int32_t prepared;          // its PreparedObject, -1 when it has none
    Matrix4 view;              // object space to view space
    double eye[3];             // the camera position in object space
    int64_t firstCorner;       // its first vertex's place in the corner arrays
    int64_t firstVertexBlock;  // its first vertex block's place in the codes array
    int64_t firstFace;         // faces of the instances before it
    int64_t firstPoint;        // its first shade point's place in the colours array
    int32_t vertexCount;       // vertices projected (0 without a vertex array)
    int32_t faceCount;         // faces drawn (0 without a face array)
    int32_t pointCount;        // shade points lit
    bool skipBlocks;           // its face blocks apply in this frame
    // Solid modes.
    float normalMatrix[9];  // takes the mesh's normals to view space (row vectors), up to scale
    bool mirrored;          // the view matrix turns space inside out
};

// A face that binning kept, with what the tiles need of it, so that they read these records
// in order instead of gathering the face's corners again: 40 bytes.
struct BinnedFace {
    int32_t x[3], y[3];  // the snapped corners (unused when invZ[0] is 0)
    float invZ[3];       // 1 / depth of the corners; all 0 for a face to be clipped
    uint32_t face;       // the face's number in the chunk
};

// Per-thread scratch of the solid path: one batch of faces classified before being binned.
struct BinItem {
    uint32_t entry;  // its BinnedFace's number, with the entry bits (solid_frame.cpp)
    uint32_t tile;   // its tile, or the shared list (tileCount)
    uint32_t rect;   // shared: the tile rectangle (x0, y0, x1, y1 a byte each)
};
struct ThreadBins {
    std::vector<BinItem> items;    // room for the batch's entries
    std::vector<uint32_t> counts;  // tileCount + 2
};

struct FrameRenderState {
    FrameRenderSettings settings = DefaultFrameRenderSettings();

    // What was prepared.
    const Scene* scene = nullptr;  // PrepareSceneRender's scene, null after PrepareFrameRender
    const MeshObject* objects = nullptr;
    int32_t objectCount = 0;
    std::vector<PreparedObject> prepared;
    std::vector<FaceBlock> faceBlocks;
    bool shadingBuilt = false;
    std::vector<ShadeMaterial> materials;  // [0] the default, [1 + m] the scene's material m
    // Beside each material its maps as the frame being drawn draws them (none for [0]): the
    // colours and amounts set once with the materials, the samplers each frame.
    std::vector<MapStyle> mapStyles;
    bool sceneHasMaps = false;  // some material names a texture map (pointParts sized early)
    bool mapsDrawn = false;     // the frame being drawn draws some map
    SceneLights lights = {};
    bool sceneHasWire = false;

    // Capacities of one chunk of instances.
    int64_t vertexCapacity = 0;
    int64_t blockCapacity = 0;
    int64_t faceCapacity = 0;
    int64_t pointCapacity = 0;
    int32_t instanceCapacity = 0;

    // Scratch of the wireframe: every instance's projected vertices in turn.
    Scratch<ScreenPoint> corners;
    Scratch<uint8_t> blockCodes;     // both paths: the codes of every vertex block in turn
    std::vector<InstanceWork> work;  // one per instance, one past the last with the totals

    // Scratch of the solid modes.
    Scratch<SolidVertex> solidVertices;
    // Per shade point its front and back colours (0x00RRGGBB) once lit in the current chunk,
    // the chunk's stamp in the top byte; written by whichever thread needs one first.
    Scratch<uint32_t> pointColours;
    uint32_t colourStamp = 0;
    // Likewise per shade point of a material with a texture map its front and back light
    // split for the map (LightParts, packed: see solid_frame.cpp), the stamp in the top byte.
    Scratch<uint64_t> pointParts;
    Scratch<BinnedFace> binFaces;    // per face batch: the faces it kept, in order
    Scratch<uint32_t> binEntries;    // per face batch: its faces, by tile, then the shared ones
    Scratch<uint32_t> binRects;      // beside each shared entry: its tile rectangle
    std::vector<uint32_t> binStart;  // per face batch: tileCount + 2 offsets into its entries
    std::vector<ThreadBins> threadBins;
    std::vector<float> depth;
    int32_t depthWidth = 0, depthHeight = 0;
    int32_t tileShift = 6;
    int32_t tilesX = 0, tilesY = 0;
    int64_t binBatchSize = 0;           // the faceBatch the bins were sized for
    std::vector<int32_t> multiplicity;  // per prepared object: instances a frame may draw

    // The chunk being drawn, set by the caller before any thread takes a piece.
    uint32_t* pixels = nullptr;
    int32_t instanceCount = 0;
    ProjectionParameters projection = {};
};

extern FrameRenderState frameState;

// The instance that holds item `index` of a count over the chunk's instances (`first` gives
// each instance's first item; the entry past the last holds the total).
int32_t InstanceHolding(const FrameRenderState& f, int64_t index, int64_t InstanceWork::*first);

// Calls part(instance, begin, end) for each instance's share [begin, end) (its own numbering)
// of the items [start, start + count) counted over the chunk's instances in turn: vertex
// blocks (first = &InstanceWork::firstVertexBlock) or faces (&InstanceWork::firstFace).
template <class Part>
void ForEachInstancePart(const FrameRenderState& f, int64_t start, int64_t count,
                         int64_t InstanceWork::*first, Part&& part) {
    const InstanceWork* work = f.work.data();
    const int64_t stop = std::min(start + count, work[f.instanceCount].*first);
    for (int32_t o = InstanceHolding(f, start, first); o < f.instanceCount && work[o].*first < stop;
         ++o) {
        const InstanceWork& w = work[o];
        const int64_t items = work[o + 1].*first - w.*first;
        const int64_t begin = std::max(start, w.*first) - w.*first;
        const int64_t end = std::min(stop, w.*first + items) - w.*first;
        if (begin < end) part(w, static_cast<int32_t>(begin), static_cast<int32_t>(end));
    }
}

// Whether no face of the block can reach the frame: all its vertex blocks share a code bit.
inline bool BlockHidden(const FaceBlock& block, const uint8_t* codes, uint8_t every) {
    if (block.firstVertexBlock < 0) return false;
    uint8_t code = every;
    for (int32_t b = block.firstVertexBlock; b <= block.lastVertexBlock && code != 0; ++b)
        code &= codes[b];
    return code != 0;
}

// Builds the solid modes' data for the prepared scene (once after a prepare). Allocates;
// on failure leaves shadingBuilt false.
void BuildSceneShading(FrameRenderState& f);

// Draws the chunk's instances (set in f.work) in a solid mode; `first` when this is the
// frame's first chunk (the frame is cleared to `background` then).
struct SolidFrame {
    RenderMode mode;
    uint32_t background;
    ViewLights lights;
    bool first;
};
void DrawSolidChunk(FrameRenderState& f, const SolidFrame& frame);

// Takes the frame's samplers from `view` into the materials' map styles: maps are drawn only
// in the lit modes. Allocates only when a texture map is drawn for the first time on a scene
// whose materials name none (on failure no map is drawn).
void SetFrameMaps(FrameRenderState& f, const RenderView& view);

// Sizes the solid modes' per-frame arrays for the current projection; false when they cannot
// be had (the frame is then left as it is).
bool PrepareSolidFrame(FrameRenderState& f);
