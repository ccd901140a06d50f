// The whole-frame renderer: prepared objects, chunks of instances, and the wireframe.
//
// A wireframe frame is drawn in two steps. First every vertex of every instance is projected
// once into the corners array (8 bytes a vertex): the screen position that ProjectCorner
// gives, or NaN where ProjectCorner gives none (view depth 0.1 or less). Then every face that
// faces the camera draws its three edges from those corners with DrawLine. DrawLine draws
// nothing for a line with a NaN end, which is exactly the edge that RenderObject leaves
// out (an end with no screen position) or that draws nothing (an end that projects to NaN).
//
// Faces are read in blocks of 64, and vertices are grouped in blocks of 64: after the
// projection each vertex block gets a code saying beyond which edges of the frame all its
// corners lie (a corner with no screen position counts as beyond every edge). A face block
// whose corners all lie in a few vertex blocks (found once, when the objects are prepared)
// and whose vertex blocks share an edge is skipped unread: none of its lines can set a pixel.
// Large scenes seen from inside lie mostly behind the camera or off the frame, so most of
// their faces are never read.
//
// Both steps are cut into pieces (a batch of vertex blocks, a batch of faces, counted over
// all instances in turn) that the caller and the pool's threads take one at a time
// (worker_pool_internal.h). All corners are projected before any face is drawn.
//
// Instances are drawn in chunks that fit the scratch arrays sized when the objects were
// prepared: normally one chunk a frame.
#include "render/frame_render.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "render/frame_render_internal.h"
#include "render/frame_stop.h"
#include "render/line_stepper.h"
#include "render/wireframe.h"
#include "render/worker_pool_internal.h"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__) && !defined(TRELLIS_NO_THREADS)
#define TRELLIS_NO_THREADS 1
#endif
#if !defined(TRELLIS_NO_THREADS)
#include <thread>
#endif

// GCC and Clang on x86 without AVX2 in the baseline also build an AVX2 projection and pick
// it at run time.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(__AVX2__)
#define TRELLIS_PROJECT_AVX2 1
#endif

#if defined(__GNUC__) || defined(__clang__)
#define TRELLIS_ALWAYS_INLINE [[gnu::always_inline]]
#else
#define TRELLIS_ALWAYS_INLINE
#endif

FrameRenderState frameState;

namespace {

constexpr float kNoCorner = std::numeric_limits<float>::quiet_NaN();
constexpr double kNoDepth = std::numeric_limits<double>::quiet_NaN();

// A face block is skipped only when its corners lie in at most this many vertex blocks.
constexpr int32_t kMaxBlockSpan = 16;
// Face blocks take at most this many bytes per vertex of their object.
constexpr size_t kFaceBlockBytesPerVertex = 4;
// Chunks hold at least this many vertices, faces and shade points, and instances.
constexpr int64_t kMinCapacity = int64_t{1} << 16;
constexpr int32_t kMinInstances = 256;

// Edge codes of a corner: beyond the left, right, top or bottom edge; all four for a
// corner with no screen position.
constexpr uint8_t kLeft = 1, kRight = 2, kTop = 4, kBottom = 8, kEveryEdge = 15;

// The bounds of the edge codes: a corner is beyond the left edge when -kFar <= x <= -1 and
// -kFar <= y <= height + kFar, and so on. Two corners beyond the same edge then convert to
// integers a pixel or more beyond it, at most 2^20 pixels apart along each axis (for frames
// of at most 2^18 pixels), and LineMisses holds for the line between them.
constexpr float kFar = 0x1p17f;

struct EdgeBounds {
    float right;      // width + 1
    float bottom;     // height + 1
    float farRight;   // width + kFar
    float farBottom;  // height + kFar
    bool usable;      // frames larger than 2^18 pixels get no codes
};

// The wireframe chunk being drawn.
struct WireFrame {
    FrameRenderState* state;
    EdgeBounds bounds;
    int64_t blocksPerPiece;
};

// ProjectCorner for vertices [begin, end) of one object, written as one loop of plain
// arithmetic that the compiler can vectorise. Every operation is ProjectCorner's, in its
// order and precision (and never contracted into a fused multiply-add: this file is
// compiled with -ffp-contract=off). The conversions to float are plain ones: GCC and Clang
// convert a double beyond the float range as IEEE rounding does, to FLT_MAX or an infinity,
// which is what ProjectCorner's careful conversion gives (a NaN may keep another payload,
// and any NaN end leaves the line out). A vertex at depth 0.1 or
// nearer is divided by NaN instead of its depth, which makes its corner NaN without a
// branch.
TRELLIS_ALWAYS_INLINE inline void ProjectLoop(const Matrix4& view, const Vertex* vertices,
                                              int32_t begin, int32_t end,
                                              const ProjectionParameters& projection,
                                              ScreenPoint* corners) {
    const auto v = [&view](int i) { return static_cast<double>(view[i]); };
    const double v0 = v(0), v1 = v(1), v2 = v(2);
    const double v4 = v(4), v5 = v(5), v6 = v(6);
    const double v8 = v(8), v9 = v(9), v10 = v(10);
    const double v12 = v(12), v13 = v(13), v14 = v(14);
    const double scale = static_cast<double>(projection.focalScale);
    const double halfWidth = static_cast<double>(projection.width / 2);
    const double halfHeight = static_cast<double>(projection.height / 2);
    for (int32_t i = begin; i < end; ++i) {
        const double x = static_cast<double>(vertices[i].x);
        const double y = static_cast<double>(vertices[i].y);
        const double z = static_cast<double>(vertices[i].z);
        const float xv = static_cast<float>(x * v0 + y * v4 + z * v8 + v12);
        const float yv = static_cast<float>(x * v1 + y * v5 + z * v9 + v13);
        const double zv = x * v2 + y * v6 + z * v10 + v14;
        const double depth = zv > kNearLimit ? zv : kNoDepth;
        corners[i].x = static_cast<float>(static_cast<double>(xv) * scale / depth + halfWidth);
        corners[i].y = static_cast<float>(static_cast<double>(yv) * scale / depth + halfHeight);
    }
}

#if defined(TRELLIS_PROJECT_AVX2)
// The same loop in AVX2 instructions (four doubles a division instead of two), for the
// processors that have them. AVX2 alone brings no fused multiply-add.
[[gnu::target("avx2")]] void ProjectVerticesAvx2(const Matrix4& view, const Vertex* vertices,
                                                 int32_t begin, int32_t end,
                                                 const ProjectionParameters& projection,
                                                 ScreenPoint* corners) {
    ProjectLoop(view, vertices, begin, end, projection, corners);
}

// Asked during static initialisation, so the detection runs here first.
const bool haveAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

void ProjectVertices(const Matrix4& view, const Vertex* vertices, int32_t begin, int32_t end,
                     const ProjectionParameters& projection, ScreenPoint* corners) {
#if defined(TRELLIS_PROJECT_AVX2)
    if (haveAvx2) {
        ProjectVerticesAvx2(view, vertices, begin, end, projection, corners);
        return;
    }
#endif
    ProjectLoop(view, vertices, begin, end, projection, corners);
}

// The edges a corner lies beyond, in plain comparisons that the compiler can vectorise.
TRELLIS_ALWAYS_INLINE inline uint32_t EdgeCode(ScreenPoint p, const EdgeBounds& b) {
    const auto bit = [](bool value) { return static_cast<uint32_t>(value); };
    const uint32_t noCorner = bit(std::isnan(p.x)) | bit(std::isnan(p.y));
    const uint32_t yNear = bit(-kFar <= p.y) & bit(p.y <= b.farBottom);
    const uint32_t xNear = bit(-kFar <= p.x) & bit(p.x <= b.farRight);
    const uint32_t left = yNear & bit(-kFar <= p.x) & bit(p.x <= -1.0f);
    const uint32_t right = yNear & bit(b.right <= p.x) & bit(p.x <= b.farRight);
    const uint32_t top = xNear & bit(-kFar <= p.y) & bit(p.y <= -1.0f);
    const uint32_t bottom = xNear & bit(b.bottom <= p.y) & bit(p.y <= b.farBottom);
    return (noCorner * kEveryEdge) | left * kLeft | right * kRight | top * kTop | bottom * kBottom;
}

// The edges that every corner of a vertex block lies beyond.
uint8_t BlockCode(const ScreenPoint* corners, int32_t count, const EdgeBounds& bounds) {
    if (!bounds.usable) return 0;
    uint32_t code = kEveryEdge;
    for (int32_t i = 0; i < count; ++i)
        code &= EdgeCode(corners[i], bounds);
    return static_cast<uint8_t>(code);
}

// A corner as DrawLine converts it; `valid` is false for a NaN coordinate, which draws no
// line.
struct PixelCorner {
    int32_t x, y;
    bool valid;
};

inline PixelCorner ToPixel(ScreenPoint p) {
    return {ScreenToInt(p.x), ScreenToInt(p.y), !(std::isnan(p.x) || std::isnan(p.y))};
}

// True when DrawLineBetween(a, b) surely sets no pixel: its walk has no step, or it has at
// most 2^20 steps and both ends lie at least a pixel beyond the same edge of the frame.
//
// Why that is exact: along the longer axis the walk stays between the two integer ends.
// Along the shorter one each increment is d / n rounded to a float (relative error 2^-24,
// so k <= n increments stray at most |d| 2^-24 <= 2^-4 from the exact line), and each of at
// most 2^20 subtractions on a value below 2^32 rounds by at most 2^-22: the walk stays
// within half a pixel of the span between the ends. So every point it visits has that
// coordinate below -1/2 or above the frame's size plus 1/2, and PutPixel sets nothing.
inline bool LineMisses(PixelCorner a, PixelCorner b, int64_t width, int64_t height) {
    const int64_t dx = static_cast<int64_t>(a.x) - b.x;
    const int64_t dy = static_cast<int64_t>(a.y) - b.y;
    const int64_t n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    if (n == 0) return true;
    if (n > (int64_t{1} << 20)) return false;
    return (a.x <= -1 && b.x <= -1) || (a.y <= -1 && b.y <= -1) ||
           (a.x >= width + 1 && b.x >= width + 1) || (a.y >= height + 1 && b.y >= height + 1);
}

// Faces [begin, end) of one instance: the facing test and the three edges, as RenderObject
// draws them, with the corners taken from the projected vertices.
void DrawFaceRange(const InstanceWork& work, const MeshObject& object, int32_t begin, int32_t end,
                   const ScreenPoint* corners, const ProjectionParameters& projection,
                   uint32_t* pixels) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(object.vertices);
    const uintptr_t extent = static_cast<uintptr_t>(work.vertexCount) * sizeof(Vertex);
    const auto corner = [&](const Vertex* vertex) {
        const uintptr_t offset = reinterpret_cast<uintptr_t>(vertex) - base;
        if (offset < extent) return ToPixel(corners[offset / sizeof(Vertex)]);
        // A corner outside the object's own vertex array (only objects built by hand
        // have one) is projected on its own.
        ScreenPoint slot = {kNoCorner, kNoCorner};
        ProjectCorner(work.view, *vertex, slot);
        return ToPixel(slot);
    };
    const int64_t width = projection.width;
    const int64_t height = projection.height;
    const auto edge = [&](PixelCorner a, PixelCorner b) {
        if (a.valid && b.valid && !LineMisses(a, b, width, height))
            DrawLineBetween(a.x, a.y, b.x, b.y, pixels);
    };
    const double ex = work.eye[0], ey = work.eye[1], ez = work.eye[2];
    for (int32_t i = begin; i < end; ++i) {
        const Face& face = object.faces[i];
        const double s =
            static_cast<double>(face.plane[0]) * ex + static_cast<double>(face.plane[1]) * ey +
            static_cast<double>(face.plane[2]) * ez + static_cast<double>(face.plane[3]);
        if (s > kFacingLimit) continue;
        assert(face.vertex0 != nullptr && face.vertex1 != nullptr && face.vertex2 != nullptr);
        const PixelCorner c0 = corner(face.vertex0);
        const PixelCorner c1 = corner(face.vertex1);
        const PixelCorner c2 = corner(face.vertex2);
        edge(c0, c1);
        edge(c2, c1);
        edge(c0, c2);
    }
}

// Faces [begin, end) of one instance, block by block, skipping the hidden blocks.
void DrawFaces(const FrameRenderState& f, const InstanceWork& w, int32_t begin, int32_t end) {
    const ScreenPoint* corners = f.corners.get() + w.firstCorner;
    if (!w.skipBlocks) {
        DrawFaceRange(w, *w.object, begin, end, corners, f.projection, f.pixels);
        return;
    }
    const PreparedObject& p = f.prepared[static_cast<size_t>(w.prepared)];
    const FaceBlock* blocks = f.faceBlocks.data() + p.firstFaceBlock;
    const uint8_t* codes = f.blockCodes.get() + w.firstVertexBlock;
    for (int32_t i = begin; i < end;) {
        const int32_t block = i / kBlock;
        const int32_t blockEnd = std::min(end, (block + 1) * kBlock);
        if (!BlockHidden(blocks[block], codes, kEveryEdge))
            DrawFaceRange(w, *w.object, i, blockEnd, corners, f.projection, f.pixels);
        i = blockEnd;
    }
}

// Projects the vertex blocks of one piece and codes them.
void ProjectPiece(const WireFrame& frame, int64_t piece) {
    FrameRenderState& f = *frame.state;
    ForEachInstancePart(
        f, piece * frame.blocksPerPiece, frame.blocksPerPiece, &InstanceWork::firstVertexBlock,
        [&](const InstanceWork& w, int32_t firstBlock, int32_t endBlock) {
            const int32_t begin = firstBlock * kBlock;
            const int32_t end = std::min(endBlock * kBlock, w.vertexCount);
            ScreenPoint* corners = f.corners.get() + w.firstCorner;
            ProjectVertices(w.view, w.object->vertices, begin, end, f.projection, corners);
            for (int32_t b = firstBlock; b < endBlock; ++b) {
                const int32_t first = b * kBlock;
                const int32_t count = std::min(kBlock, w.vertexCount - first);
                f.blockCodes.get()[static_cast<size_t>(w.firstVertexBlock + b)] =
                    BlockCode(corners + first, count, frame.bounds);
            }
        });
}

void DrawPiece(const WireFrame& frame, int64_t piece) {
    FrameRenderState& f = *frame.state;
    const int64_t batch = f.settings.faceBatch;
    ForEachInstancePart(
        f, piece * batch, batch, &InstanceWork::firstFace,
        [&](const InstanceWork& w, int32_t begin, int32_t end) { DrawFaces(f, w, begin, end); });
}

void RunWirePiece(void* context, int32_t stage, int64_t piece, int32_t /*thread*/) {
    const WireFrame& frame = *static_cast<const WireFrame*>(context);
    if (stage == 0) {
        ProjectPiece(frame, piece);
    } else {
        DrawPiece(frame, piece);
    }
}

// Draws the chunk set in f.work as the wireframe.
void DrawWireChunk(FrameRenderState& f) {
    const InstanceWork& totals = f.work[static_cast<size_t>(f.instanceCount)];
    WireFrame frame;
    frame.state = &f;
    const float width = static_cast<float>(f.projection.width);
    const float height = static_cast<float>(f.projection.height);
    frame.bounds = {width + 1.0f, height + 1.0f, width + kFar, height + kFar,
                    f.projection.width <= (1 << 18) && f.projection.height <= (1 << 18)};
    frame.blocksPerPiece = std::max(f.settings.vertexBatch / kBlock, 1);
    StagedJob job;
    job.stageCount = 2;
    job.pieces[0] = (totals.firstVertexBlock + frame.blocksPerPiece - 1) / frame.blocksPerPiece;
    job.pieces[1] = (totals.firstFace + f.settings.faceBatch - 1) / f.settings.faceBatch;
    job.run = RunWirePiece;
    job.context = &frame;
    RunStagedJob(job, totals.firstFace >= f.settings.minFacesForThreads);
}

int32_t Clamped(int32_t value, int32_t most) {
    return std::clamp(value, 1, most);
}

void ReleaseScratch(FrameRenderState& f) {
    f.corners.Release();
    f.blockCodes.Release();
    f.solidVertices.Release();
    f.pointColours.Release();
    f.pointParts.Release();
    f.binFaces.Release();
    f.binEntries.Release();
    f.binRects.Release();
    std::vector<FaceBlock>().swap(f.faceBlocks);
    std::vector<InstanceWork>().swap(f.work);
    std::vector<PreparedObject>().swap(f.prepared);
    std::vector<uint32_t>().swap(f.binStart);
    std::vector<ThreadBins>().swap(f.threadBins);
    std::vector<float>().swap(f.depth);
    f.depthWidth = f.depthHeight = 0;
    f.binBatchSize = 0;
    f.shadingBuilt = false;
    f.scene = nullptr;
    f.objects = nullptr;
    f.objectCount = 0;
    f.vertexCapacity = f.blockCapacity = f.faceCapacity = f.pointCapacity = 0;
    f.instanceCapacity = 0;
}

int32_t VertexCountOf(const MeshObject& object) {
    return object.vertices != nullptr ? std::max(object.vertexCount, 0) : 0;
}

int32_t FaceCountOf(const MeshObject& object) {
    return object.faces != nullptr ? std::max(object.faceCount, 0) : 0;
}

// Notes the objects, their face blocks and the capacities of a chunk, and sizes the
// wireframe's scratch. `multiplicity` (null: 1 each) is how many instances of each object a
// frame may draw. On failure to allocate, every frame takes the plain path.
void PrepareObjects(FrameRenderState& f, const MeshObject* objects, int32_t objectCount,
                    const int32_t* multiplicity) {
    const int32_t count = std::max(objectCount, 0);
    f.objects = objects;
    f.objectCount = count;
    f.shadingBuilt = false;
    f.scene = nullptr;
    f.multiplicity.assign(static_cast<size_t>(count), 1);
    if (multiplicity != nullptr) {
        for (int32_t i = 0; i < count; ++i)
            f.multiplicity[static_cast<size_t>(i)] = std::max(multiplicity[i], 0);
    }
    int64_t vertices = 0, faces = 0, instances = 0;
    size_t faceBlocks = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t times = f.multiplicity[static_cast<size_t>(i)];
        const int32_t vertexCount = VertexCountOf(objects[i]);
        const int32_t faceCount = FaceCountOf(objects[i]);
        vertices += times * vertexCount;
        faces += times * faceCount;
        instances += times;
        const size_t blocks = static_cast<size_t>(BlocksOf(faceCount));
        if (vertexCount > 0 && blocks * sizeof(FaceBlock) <=
                                   kFaceBlockBytesPerVertex * static_cast<size_t>(vertexCount))
            faceBlocks += blocks;
    }
    f.vertexCapacity = std::max(vertices, kMinCapacity);
    // Solid bins number a chunk's faces in 30 bits.
    f.faceCapacity = std::min(std::max(faces, kMinCapacity), (int64_t{1} << 30) - 1);
    f.instanceCapacity = static_cast<int32_t>(
        std::min<int64_t>(std::max<int64_t>({instances, count, kMinInstances}), INT32_MAX - 1));
    f.blockCapacity = f.vertexCapacity / kBlock + f.instanceCapacity + 1;
    try {
        f.corners.Resize(static_cast<size_t>(f.vertexCapacity));
        f.blockCodes.Resize(static_cast<size_t>(f.blockCapacity));
        f.faceBlocks.assign(faceBlocks, FaceBlock{-1, -1});
        f.work.assign(static_cast<size_t>(f.instanceCapacity) + 1, InstanceWork{});
        f.prepared.assign(static_cast<size_t>(count), PreparedObject{});
    } catch (const std::bad_alloc&) {
        ReleaseScratch(f);
        return;
    }

    // Each face block: the vertex blocks its corners lie in.
    int64_t nextFaceBlock = 0;
    for (int32_t i = 0; i < count; ++i) {
        const MeshObject& object = objects[i];
        PreparedObject& p = f.prepared[static_cast<size_t>(i)];
        p.faces = object.faces;
        p.vertices = object.vertices;
        p.faceCount = object.faceCount;
        p.vertexCount = object.vertexCount;
        p.firstFaceBlock = -1;
        const int32_t vertexCount = VertexCountOf(object);
        const int32_t faceCount = FaceCountOf(object);
        const int32_t blocks = BlocksOf(faceCount);
        if (vertexCount == 0 || static_cast<size_t>(blocks) * sizeof(FaceBlock) >
                                    kFaceBlockBytesPerVertex * static_cast<size_t>(vertexCount))
            continue;
        p.firstFaceBlock = nextFaceBlock;
        nextFaceBlock += blocks;
        const uintptr_t base = reinterpret_cast<uintptr_t>(object.vertices);
        const uintptr_t extent = static_cast<uintptr_t>(vertexCount) * sizeof(Vertex);
        for (int32_t b = 0; b < blocks; ++b) {
            int64_t lowest = INT64_MAX;
            int64_t highest = -1;
            bool inside = true;
            const int32_t end = std::min(faceCount, (b + 1) * kBlock);
            for (int32_t k = b * kBlock; k < end && inside; ++k) {
                const Face& face = object.faces[k];
                for (const Vertex* vertex : {face.vertex0, face.vertex1, face.vertex2}) {
                    const uintptr_t offset = reinterpret_cast<uintptr_t>(vertex) - base;
                    inside = inside && offset < extent;
                    const int64_t index = static_cast<int64_t>(offset / sizeof(Vertex));
                    lowest = std::min(lowest, index);
                    highest = std::max(highest, index);
                }
            }
            FaceBlock& block = f.faceBlocks[static_cast<size_t>(p.firstFaceBlock + b)];
            block = {-1, -1};
            if (inside && highest >= 0 && highest / kBlock - lowest / kBlock < kMaxBlockSpan)
                block = {static_cast<int32_t>(lowest / kBlock),
                         static_cast<int32_t>(highest / kBlock)};
        }
    }
    // The pool starts with the first scene large enough to be drawn by it: a small scene (a
    // thumbnail, a one-frame picture) never pays for starting and stopping threads.
    if (faces >= f.settings.minFacesForThreads) SetPoolThreads(f.settings.threads);
}

// Where the instances of one frame come from: RenderFrame's objects and matrices, or
// RenderScene's list.
struct InstanceSource {
    const MeshObject* objects;
    int32_t objectCount;
    ObjectMatrices matrices;          // RenderFrame: object i with its matrix
    const RenderInstance* instances;  // RenderScene: the list (null for RenderFrame)
    int32_t count;                    // instances in all
    Matrix4 cameraInverse;
    bool solid;
};

const Matrix4& MatrixOf(const ObjectMatrices& matrices, int32_t i) {
    const auto* first = reinterpret_cast<const unsigned char*>(matrices.first);
    return *reinterpret_cast<const Matrix4*>(first + static_cast<size_t>(i) * matrices.stride);
}

// The cofactor matrix of the 3 x 3 part of `m`, times the sign of its determinant: it takes
// normals (row vectors) to the view along with the points, keeping their side.
void NormalMatrix(const Matrix4& m, InstanceWork& w) {
    const float a = m[0], b = m[1], c = m[2];
    const float d = m[4], e = m[5], g = m[6];
    const float h = m[8], i = m[9], k = m[10];
    const float cof[9] = {e * k - g * i,    -(d * k - g * h), d * i - e * h,
                          -(b * k - c * i), a * k - c * h,    -(a * i - b * h),
                          b * g - c * e,    -(a * g - c * d), a * e - b * d};
    const float det = a * cof[0] + b * cof[1] + c * cof[2];
    w.mirrored = det < 0.0f;
    for (int j = 0; j < 9; ++j)
        w.normalMatrix[j] = w.mirrored ? -cof[j] : cof[j];
}

// Fills f.work with the instances from `next` on that fit one chunk, and moves `next` past
// them. An instance of an object that can never fit (more vertices or faces than a chunk
// holds) is drawn at once with RenderObject (the wireframe) or left out (solid modes), and
// one whose object is not in the source is left out.
void BeginChunk(FrameRenderState& f, const InstanceSource& source, int32_t& next,
                const Matrix4& cameraMatrix) {
    int32_t n = 0;
    int64_t vertices = 0, blocks = 0, faces = 0, points = 0;
    for (; next < source.count && n < f.instanceCapacity; ++next) {
        const int32_t objectIndex =
            source.instances != nullptr ? source.instances[next].object : next;
        if (objectIndex < 0 || objectIndex >= source.objectCount) continue;
        const MeshObject& object = source.objects[objectIndex];
        const Matrix4& matrix = source.instances != nullptr ? source.instances[next].matrix
                                                            : MatrixOf(source.matrices, next);
        const int32_t vertexCount = VertexCountOf(object);
        const int32_t faceCount = FaceCountOf(object);
        int32_t prepared = -1;
        if (source.objects == f.objects && objectIndex < static_cast<int32_t>(f.prepared.size())) {
            const PreparedObject& p = f.prepared[static_cast<size_t>(objectIndex)];
            if (object.faces == p.faces && object.vertices == p.vertices &&
                object.faceCount == p.faceCount && object.vertexCount == p.vertexCount)
                prepared = objectIndex;
        }
        const int32_t pointCount =
            source.solid && prepared >= 0
                ? static_cast<int32_t>(
                      f.prepared[static_cast<size_t>(prepared)].shading.points.size())
                : 0;
        if (vertexCount > f.vertexCapacity || faceCount > f.faceCapacity ||
            BlocksOf(vertexCount) + 1 > f.blockCapacity || pointCount > f.pointCapacity ||
            (source.solid && prepared < 0)) {
            if (!source.solid) RenderObject(matrix, cameraMatrix, object, f.pixels);
            continue;
        }
        if (vertices + vertexCount > f.vertexCapacity || faces + faceCount > f.faceCapacity ||
            blocks + BlocksOf(vertexCount) > f.blockCapacity ||
            points + pointCount > f.pointCapacity)
            break;
        InstanceWork& w = f.work[static_cast<size_t>(n++)];
        w = InstanceWork{};
        w.object = &object;
        w.prepared = prepared;
        // The matrices exactly as RenderObject forms them: V = objectMatrix * inverse(camera)
        // and the camera position in object space from the inverse of V.
        MatrixMultiply(source.cameraInverse, matrix, w.view);
        Matrix4 viewToObject;
        MatrixInverse(w.view, viewToObject);
        for (int k = 0; k < 3; ++k)
            w.eye[k] = static_cast<double>(viewToObject[12 + k]);
        w.vertexCount = vertexCount;
        w.faceCount = faceCount;
        w.pointCount = pointCount;
        w.firstCorner = vertices;
        w.firstVertexBlock = blocks;
        w.firstFace = faces;
        w.firstPoint = points;
        w.skipBlocks =
            prepared >= 0 && f.prepared[static_cast<size_t>(prepared)].firstFaceBlock >= 0;
        if (source.solid) NormalMatrix(w.view, w);
        vertices += vertexCount;
        blocks += BlocksOf(vertexCount);
        faces += faceCount;
        points += pointCount;
    }
    InstanceWork& totals = f.work[static_cast<size_t>(n)];
    totals = InstanceWork{};
    totals.firstCorner = vertices;
    totals.firstVertexBlock = blocks;
    totals.firstFace = faces;
    totals.firstPoint = points;
    f.instanceCount = n;
}

// Draws every instance of the source as the wireframe, chunk by chunk.
void DrawWireframe(FrameRenderState& f, const InstanceSource& source, const Matrix4& cameraMatrix) {
    int32_t next = 0;
    while (next < source.count && !CheckFrameStop()) {
        BeginChunk(f, source, next, cameraMatrix);
        if (f.instanceCount > 0) DrawWireChunk(f);
    }
}

}  // namespace

int32_t InstanceHolding(const FrameRenderState& f, int64_t index, int64_t InstanceWork::*first) {
    const InstanceWork* begin = f.work.data();
    const InstanceWork* end = begin + f.instanceCount + 1;
    const InstanceWork* after = std::upper_bound(
        begin, end, index, [first](int64_t i, const InstanceWork& w) { return i < w.*first; });
    return static_cast<int32_t>(after - begin) - 1;
}

ObjectMatrices OwnMatrices(const MeshObject* objects) {
    return {objects != nullptr ? &objects->matrix : nullptr, sizeof(MeshObject)};
}

ObjectMatrices SameMatrix(const Matrix4& matrix) {
    return {&matrix, 0};
}

ObjectMatrices MatrixPerObject(const Matrix4* matrices) {
    return {matrices, sizeof(Matrix4)};
}

FrameRenderSettings DefaultFrameRenderSettings() {
    FrameRenderSettings settings;
#if !defined(TRELLIS_NO_THREADS)
    const unsigned hardware = std::thread::hardware_concurrency();
    settings.threads = static_cast<int32_t>(std::clamp(hardware, 1u, 8u));
#endif
    return settings;
}

void ConfigureFrameRender(const FrameRenderSettings& settings) {
    FrameRenderState& f = frameState;
    f.settings.threads = Clamped(settings.threads, kMaxThreads);
    f.settings.vertexBatch = Clamped(settings.vertexBatch, INT32_MAX);
    f.settings.faceBatch = Clamped(settings.faceBatch, INT32_MAX);
    f.settings.minFacesForThreads = std::max(settings.minFacesForThreads, 0);
#if defined(TRELLIS_NO_THREADS)
    f.settings.threads = 1;
#endif
    SetPoolThreads(f.settings.threads);
}

void PrepareFrameRender(const MeshObject* objects, int32_t objectCount) {
    PrepareObjects(frameState, objects, objectCount, nullptr);
}

void RenderFrame(const MeshObject* objects, int32_t objectCount, ObjectMatrices matrices,
                 const Matrix4& cameraMatrix, uint32_t* pixels) {
    FrameRenderState& f = frameState;
    if (objectCount <= 0) return;
    if (f.work.empty()) {
        for (int32_t i = 0; i < objectCount && !CheckFrameStop(); ++i)
            RenderObject(MatrixOf(matrices, i), cameraMatrix, objects[i], pixels);
        return;
    }
    InstanceSource source{};
    source.objects = objects;
    source.objectCount = objectCount;
    source.matrices = matrices;
    source.count = objectCount;
    MatrixInverse(cameraMatrix, source.cameraInverse);
    f.pixels = pixels;
    f.projection = CurrentProjection();
    DrawWireframe(f, source, cameraMatrix);
}

RenderView DefaultRenderView() {
    RenderView view;
    MatrixIdentity(view.camera);
    MatrixIdentity(view.lightMatrix);
    view.mode = RenderMode::Wireframe;
    return view;
}

void PrepareSceneRender(const Scene& scene, RenderMode mode, const int32_t* instancesPerObject) {
    FrameRenderState& f = frameState;
    PrepareObjects(f, scene.objects, scene.objectCount, instancesPerObject);
    if (f.work.empty()) return;
    f.scene = &scene;
    if (mode != RenderMode::Wireframe) BuildSceneShading(f);
}

void RenderScene(const Scene& scene, const RenderInstance* instances, int32_t count,
                 const RenderView& view, uint32_t* pixels) {
    FrameRenderState& f = frameState;
    if (f.scene != &scene || f.objects != scene.objects || f.objectCount != scene.objectCount)
        PrepareSceneRender(scene, view.mode);
    f.pixels = pixels;
    f.projection = CurrentProjection();
    const size_t frameSize = static_cast<size_t>(std::max(f.projection.width, 0)) *
                             static_cast<size_t>(std::max(f.projection.height, 0));
    const uint32_t background = SceneBackground(scene, view.mode);
    InstanceSource source{};
    source.objects = scene.objects;
    source.objectCount = std::max(scene.objectCount, 0);
    source.instances = instances;
    source.count = instances != nullptr ? std::max(count, 0) : 0;
    MatrixInverse(view.camera, source.cameraInverse);
    if (view.mode == RenderMode::Wireframe || f.work.empty()) {
        std::fill(pixels, pixels + frameSize, background);
        if (view.mode != RenderMode::Wireframe) return;
        if (f.work.empty()) {
            for (int32_t i = 0; i < source.count && !CheckFrameStop(); ++i) {
                const RenderInstance& instance = instances[i];
                if (instance.object >= 0 && instance.object < source.objectCount)
                    RenderObject(instance.matrix, view.camera, scene.objects[instance.object],
                                 pixels);
            }
            return;
        }
        DrawWireframe(f, source, view.camera);
        return;
    }
    if (!f.shadingBuilt) BuildSceneShading(f);
    // Solid frames fill every pixel: a large frame is worth the pool's threads whatever the
    // scene's size, so the first one starts them.
    if (static_cast<int64_t>(frameSize) >= kSolidPixelsForThreads)
        SetPoolThreads(f.settings.threads);
    if (!f.shadingBuilt || !PrepareSolidFrame(f)) {
        std::fill(pixels, pixels + frameSize, background);
        return;
    }
    source.solid = true;
    SolidFrame frame;
    frame.mode = view.mode;
    frame.background = background;
    Matrix4 sceneToView;
    MatrixMultiply(source.cameraInverse, view.lightMatrix, sceneToView);
    ViewLightsFor(f.lights, sceneToView, frame.lights);
    SetFrameMaps(f, view);
    frame.first = true;
    int32_t next = 0;
    do {
        BeginChunk(f, source, next, view.camera);
        DrawSolidChunk(f, frame);
        frame.first = false;
    } while (next < source.count && !CheckFrameStop());
}

void ShutdownFrameRender() {
    StopPool();
    ReleaseScratch(frameState);
}
