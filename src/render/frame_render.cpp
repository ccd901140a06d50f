// The whole-frame renderer.
//
// A frame is drawn in two steps. First every vertex of every object is projected once
// into the corners array (8 bytes a vertex): the screen position that ProjectCorner gives,
// or NaN where ProjectCorner gives none (view depth 0.1 or less). Then every face that
// faces the camera draws its three edges from those corners with DrawLine. DrawLine draws
// nothing for a line with a NaN end, which is exactly the edge that RenderObject leaves
// out (an end with no screen position) or that draws nothing (an end that projects to NaN).
//
// Faces are read in blocks of 64, and vertices are grouped in blocks of 64: after the
// projection each vertex block gets a code saying beyond which edges of the frame all its
// corners lie (a corner with no screen position counts as beyond every edge). A face block
// whose corners all lie in a few vertex blocks (found once, in PrepareFrameRender) and whose
// vertex blocks share an edge is skipped unread: none of its lines can set a pixel. Large
// scenes seen from inside lie mostly behind the camera or off the frame, so most of their
// faces are never read.
//
// Both steps are cut into pieces (a batch of vertex blocks, a batch of faces, counted over
// all objects in turn) that the caller and the pool's threads take one at a time from a
// shared counter, so a thread that the system runs late simply takes fewer pieces. All
// corners are projected before any face is drawn.
#include "render/frame_render.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "render/frame_stop.h"
#include "render/line_stepper.h"
#include "render/wireframe.h"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__) && !defined(TRELLIS_NO_THREADS)
#define TRELLIS_NO_THREADS 1
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

#if !defined(TRELLIS_NO_THREADS)
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#endif

namespace {

constexpr float kNoCorner = std::numeric_limits<float>::quiet_NaN();
constexpr double kNoDepth = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kMaxThreads = 64;

// Vertices in a vertex block, faces in a face block.
constexpr int32_t kBlock = 64;
// A face block is skipped only when its corners lie in at most this many vertex blocks.
constexpr int32_t kMaxBlockSpan = 16;
// Face blocks take at most this many bytes per vertex of their object.
constexpr size_t kFaceBlockBytesPerVertex = 4;

// Edge codes of a corner: beyond the left, right, top or bottom edge; all four for a
// corner with no screen position.
constexpr uint8_t kLeft = 1, kRight = 2, kTop = 4, kBottom = 8, kEveryEdge = 15;

// The vertex blocks that hold every corner of a face block; first < 0: the block is never
// skipped (a corner outside the object's vertices, or corners spread too widely).
struct FaceBlock {
    int32_t firstVertexBlock;
    int32_t lastVertexBlock;
};

// One object's part of the frame.
struct ObjectWork {
    // As PrepareFrameRender saw the object: its face blocks apply only to these arrays.
    const Face* preparedFaces;
    const Vertex* preparedVertices;
    int32_t preparedFaceCount;
    int32_t preparedVertexCount;
    int64_t firstFaceBlock;  // its face blocks' place, or -1 without face blocks

    // Set for each frame.
    Matrix4 view;              // object space to view space
    double eye[3];             // the camera position in object space
    int64_t firstCorner;       // its first vertex's place in the corners array
    int64_t firstVertexBlock;  // its first vertex block's place in the codes array
    int64_t firstFace;         // the number of faces of the objects before it
    int32_t vertexCount;       // vertices projected (0 without a vertex array)
    int32_t faceCount;         // faces drawn (0 without a face array)
    bool skipBlocks;           // its face blocks apply in this frame
};

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

struct FrameRenderState {
    FrameRenderSettings settings = DefaultFrameRenderSettings();
    std::vector<ScreenPoint> corners;   // every object's projected vertices in turn
    std::vector<uint8_t> blockCodes;    // every object's vertex block codes in turn
    std::vector<FaceBlock> faceBlocks;  // the face blocks of the prepared objects in turn
    std::vector<ObjectWork> work;       // one per object, and one past the last with the totals

    // The frame being drawn, set by the caller before any thread takes a piece.
    const MeshObject* objects = nullptr;
    uint32_t* pixels = nullptr;
    int32_t objectCount = 0;
    ProjectionParameters projection = {};
    EdgeBounds bounds = {};
    int64_t blocksPerPiece = 1;
    int64_t vertexPieces = 0;
    int64_t facePieces = 0;
    std::atomic<int64_t> nextVertexPiece{0};
    std::atomic<int64_t> vertexPiecesDone{0};
    std::atomic<int64_t> nextFacePiece{0};

#if !defined(TRELLIS_NO_THREADS)
    std::mutex mutex;
    std::condition_variable wake;  // workers wait here for a frame or the end
    std::condition_variable idle;  // the caller waits here for its workers to leave a frame
    std::vector<std::thread> workers;
    uint64_t frameNumber = 0;  // frames handed to the pool so far
    bool open = false;         // the current frame still takes workers
    int32_t busy = 0;          // workers inside the current frame
    bool quit = false;
#endif

    ~FrameRenderState();
};

FrameRenderState frameState;

const Matrix4& MatrixOf(const ObjectMatrices& matrices, int32_t i) {
    const auto* first = reinterpret_cast<const unsigned char*>(matrices.first);
    return *reinterpret_cast<const Matrix4*>(first + static_cast<size_t>(i) * matrices.stride);
}

int32_t BlocksOf(int32_t count) {
    return static_cast<int32_t>((static_cast<int64_t>(count) + kBlock - 1) / kBlock);
}

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

// Faces [begin, end) of one object: the facing test and the three edges, as RenderObject
// draws them, with the corners taken from the projected vertices.
void DrawFaceRange(const ObjectWork& work, const MeshObject& object, int32_t begin, int32_t end,
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

// Whether no line of the face block can set a pixel: all its vertex blocks share an edge.
bool BlockHidden(const FaceBlock& block, const uint8_t* codes) {
    if (block.firstVertexBlock < 0) return false;
    uint8_t code = kEveryEdge;
    for (int32_t b = block.firstVertexBlock; b <= block.lastVertexBlock && code != 0; ++b)
        code &= codes[b];
    return code != 0;
}

// Faces [begin, end) of one object, block by block, skipping the hidden blocks.
void DrawFaces(const FrameRenderState& f, const ObjectWork& w, const MeshObject& object,
               int32_t begin, int32_t end) {
    const ScreenPoint* corners = f.corners.data() + w.firstCorner;
    if (!w.skipBlocks) {
        DrawFaceRange(w, object, begin, end, corners, f.projection, f.pixels);
        return;
    }
    const FaceBlock* blocks = f.faceBlocks.data() + w.firstFaceBlock;
    const uint8_t* codes = f.blockCodes.data() + w.firstVertexBlock;
    for (int32_t i = begin; i < end;) {
        const int32_t block = i / kBlock;
        const int32_t blockEnd = std::min(end, (block + 1) * kBlock);
        if (!BlockHidden(blocks[block], codes))
            DrawFaceRange(w, object, i, blockEnd, corners, f.projection, f.pixels);
        i = blockEnd;
    }
}

// The object that holds item `index` of a count over all objects (`first` gives each
// object's first item; the entry past the last object holds the total).
int32_t ObjectHolding(const FrameRenderState& f, int64_t index, int64_t ObjectWork::*first) {
    const ObjectWork* begin = f.work.data();
    const ObjectWork* end = begin + f.objectCount + 1;
    const ObjectWork* after = std::upper_bound(
        begin, end, index, [first](int64_t i, const ObjectWork& w) { return i < w.*first; });
    return static_cast<int32_t>(after - begin) - 1;
}

// Projects the vertex blocks of one piece and codes them.
void ProjectPiece(FrameRenderState& f, int64_t piece) {
    const int64_t total = f.work[static_cast<size_t>(f.objectCount)].firstVertexBlock;
    const int64_t start = piece * f.blocksPerPiece;
    const int64_t stop = std::min(start + f.blocksPerPiece, total);
    for (int32_t o = ObjectHolding(f, start, &ObjectWork::firstVertexBlock);
         o < f.objectCount && f.work[static_cast<size_t>(o)].firstVertexBlock < stop; ++o) {
        const ObjectWork& w = f.work[static_cast<size_t>(o)];
        const int64_t blocks = BlocksOf(w.vertexCount);
        const int64_t firstBlock = std::max(start, w.firstVertexBlock) - w.firstVertexBlock;
        const int64_t endBlock = std::min(stop, w.firstVertexBlock + blocks) - w.firstVertexBlock;
        if (firstBlock >= endBlock) continue;
        const int32_t begin = static_cast<int32_t>(firstBlock * kBlock);
        const int32_t end =
            static_cast<int32_t>(std::min<int64_t>(endBlock * kBlock, w.vertexCount));
        ScreenPoint* corners = f.corners.data() + w.firstCorner;
        ProjectVertices(w.view, f.objects[o].vertices, begin, end, f.projection, corners);
        for (int64_t b = firstBlock; b < endBlock; ++b) {
            const int32_t first = static_cast<int32_t>(b * kBlock);
            const int32_t count = std::min(kBlock, w.vertexCount - first);
            f.blockCodes[static_cast<size_t>(w.firstVertexBlock + b)] =
                BlockCode(corners + first, count, f.bounds);
        }
    }
}

void DrawPiece(FrameRenderState& f, int64_t piece) {
    const int64_t batch = f.settings.faceBatch;
    const int64_t total = f.work[static_cast<size_t>(f.objectCount)].firstFace;
    const int64_t start = piece * batch;
    const int64_t stop = std::min(start + batch, total);
    for (int32_t o = ObjectHolding(f, start, &ObjectWork::firstFace);
         o < f.objectCount && f.work[static_cast<size_t>(o)].firstFace < stop; ++o) {
        const ObjectWork& w = f.work[static_cast<size_t>(o)];
        const int64_t begin = std::max(start, w.firstFace) - w.firstFace;
        const int64_t end = std::min(stop, w.firstFace + w.faceCount) - w.firstFace;
        if (begin >= end) continue;
        DrawFaces(f, w, f.objects[o], static_cast<int32_t>(begin), static_cast<int32_t>(end));
    }
}

// True when the frame should stop (frame_stop.h): every thread tests the flag between
// pieces; the caller's thread also runs the poll of its input, every 16th piece.
bool Stopping(bool caller, int64_t piece) {
    if (caller && (piece & 15) == 0) return CheckFrameStop();
    return FrameStopRequested();
}

// Takes pieces until none is left: first projections, then, once every projection is
// done (by whichever thread took it), faces. Leaves the frame unfinished when asked to stop.
void TakePieces(FrameRenderState& f, bool caller) {
    for (int64_t taken = 0;; ++taken) {
        if (Stopping(caller, taken)) return;
        const int64_t piece = f.nextVertexPiece.fetch_add(1, std::memory_order_relaxed);
        if (piece >= f.vertexPieces) break;
        ProjectPiece(f, piece);
        f.vertexPiecesDone.fetch_add(1, std::memory_order_release);
    }
    while (f.vertexPiecesDone.load(std::memory_order_acquire) < f.vertexPieces) {
        if (FrameStopRequested()) return;
#if !defined(TRELLIS_NO_THREADS)
        std::this_thread::yield();
#endif
    }
    for (int64_t taken = 0;; ++taken) {
        if (Stopping(caller, taken)) return;
        const int64_t piece = f.nextFacePiece.fetch_add(1, std::memory_order_relaxed);
        if (piece >= f.facePieces) break;
        DrawPiece(f, piece);
    }
}

#if !defined(TRELLIS_NO_THREADS)

void WorkerLoop(FrameRenderState& f) {
    std::unique_lock<std::mutex> lock(f.mutex);
    uint64_t seen = f.frameNumber;
    for (;;) {
        f.wake.wait(lock, [&] { return f.quit || (f.open && f.frameNumber != seen); });
        if (f.quit) return;
        seen = f.frameNumber;
        ++f.busy;
        lock.unlock();
        TakePieces(f, false);
        lock.lock();
        if (--f.busy == 0) f.idle.notify_one();
    }
}

void StopPool(FrameRenderState& f) {
    {
        std::lock_guard<std::mutex> lock(f.mutex);
        f.quit = true;
    }
    f.wake.notify_all();
    for (std::thread& worker : f.workers)
        worker.join();
    f.workers.clear();
    f.quit = false;
}

// Starts threads - 1 workers unless they are running. A thread that cannot be started
// leaves the pool smaller; the frames are the same.
void StartPool(FrameRenderState& f) {
    const size_t wanted = static_cast<size_t>(f.settings.threads - 1);
    if (f.workers.size() == wanted) return;
    StopPool(f);
    try {
        f.workers.reserve(wanted);
        while (f.workers.size() < wanted)
            f.workers.emplace_back(WorkerLoop, std::ref(f));
    } catch (const std::exception&) {
    }
}

// Draws the prepared frame with the pool's workers.
void DrawWithPool(FrameRenderState& f) {
    {
        std::lock_guard<std::mutex> lock(f.mutex);
        ++f.frameNumber;
        f.open = true;
    }
    f.wake.notify_all();
    TakePieces(f, true);
    std::unique_lock<std::mutex> lock(f.mutex);
    f.open = false;
    f.idle.wait(lock, [&] { return f.busy == 0; });
}

bool HavePool(const FrameRenderState& f) {
    return !f.workers.empty();
}

#else

void StopPool(FrameRenderState&) {}
void StartPool(FrameRenderState&) {}
void DrawWithPool(FrameRenderState& f) {
    TakePieces(f, true);
}
bool HavePool(const FrameRenderState&) {
    return false;
}

#endif

FrameRenderState::~FrameRenderState() {
    StopPool(*this);
}

int32_t Clamped(int32_t value, int32_t most) {
    return std::clamp(value, 1, most);
}

void ReleaseScratch(FrameRenderState& f) {
    std::vector<ScreenPoint>().swap(f.corners);
    std::vector<uint8_t>().swap(f.blockCodes);
    std::vector<FaceBlock>().swap(f.faceBlocks);
    std::vector<ObjectWork>().swap(f.work);
}

// The plain path: each object drawn by RenderObject in turn.
void DrawEachObject(const MeshObject* objects, int32_t objectCount, ObjectMatrices matrices,
                    const Matrix4& cameraMatrix, uint32_t* pixels) {
    for (int32_t i = 0; i < objectCount && !CheckFrameStop(); ++i)
        RenderObject(MatrixOf(matrices, i), cameraMatrix, objects[i], pixels);
}

}  // namespace

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
#if defined(TRELLIS_NO_THREADS)
    f.settings.threads = 1;
#endif
    f.settings.vertexBatch = Clamped(settings.vertexBatch, INT32_MAX);
    f.settings.faceBatch = Clamped(settings.faceBatch, INT32_MAX);
    f.settings.minFacesForThreads = std::max(settings.minFacesForThreads, 0);
    StartPool(f);
}

void PrepareFrameRender(const MeshObject* objects, int32_t objectCount) {
    FrameRenderState& f = frameState;
    const int32_t count = std::max(objectCount, 0);
    size_t vertices = 0;
    size_t vertexBlocks = 0;
    size_t faceBlocks = 0;
    int64_t totalFaces = 0;
    for (int32_t i = 0; i < count; ++i) {
        const MeshObject& object = objects[i];
        const int32_t vertexCount =
            object.vertices != nullptr ? std::max(object.vertexCount, 0) : 0;
        const int32_t faceCount = object.faces != nullptr ? std::max(object.faceCount, 0) : 0;
        totalFaces += faceCount;
        vertices += static_cast<size_t>(vertexCount);
        vertexBlocks += static_cast<size_t>(BlocksOf(vertexCount));
        const size_t blocks = static_cast<size_t>(BlocksOf(faceCount));
        if (vertexCount > 0 && blocks * sizeof(FaceBlock) <=
                                   kFaceBlockBytesPerVertex * static_cast<size_t>(vertexCount))
            faceBlocks += blocks;
    }
    try {
        if (f.corners.size() != vertices) std::vector<ScreenPoint>(vertices).swap(f.corners);
        if (f.blockCodes.size() != vertexBlocks)
            std::vector<uint8_t>(vertexBlocks).swap(f.blockCodes);
        if (f.faceBlocks.size() != faceBlocks)
            std::vector<FaceBlock>(faceBlocks).swap(f.faceBlocks);
        if (f.work.size() != static_cast<size_t>(count) + 1)
            std::vector<ObjectWork>(static_cast<size_t>(count) + 1).swap(f.work);
    } catch (const std::bad_alloc&) {
        // Without scratch arrays every frame takes the plain path.
        ReleaseScratch(f);
    }
    if (f.work.empty()) return;

    // Each face block: the vertex blocks its corners lie in.
    int64_t nextFaceBlock = 0;
    for (int32_t i = 0; i < count; ++i) {
        const MeshObject& object = objects[i];
        ObjectWork& w = f.work[static_cast<size_t>(i)];
        w = ObjectWork{};
        w.preparedFaces = object.faces;
        w.preparedVertices = object.vertices;
        w.preparedFaceCount = object.faceCount;
        w.preparedVertexCount = object.vertexCount;
        w.firstFaceBlock = -1;
        const int32_t vertexCount =
            object.vertices != nullptr ? std::max(object.vertexCount, 0) : 0;
        const int32_t faceCount = object.faces != nullptr ? std::max(object.faceCount, 0) : 0;
        const int32_t blocks = BlocksOf(faceCount);
        if (vertexCount == 0 || static_cast<size_t>(blocks) * sizeof(FaceBlock) >
                                    kFaceBlockBytesPerVertex * static_cast<size_t>(vertexCount))
            continue;
        w.firstFaceBlock = nextFaceBlock;
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
            FaceBlock& block = f.faceBlocks[static_cast<size_t>(w.firstFaceBlock + b)];
            block = {-1, -1};
            if (inside && highest >= 0 && highest / kBlock - lowest / kBlock < kMaxBlockSpan)
                block = {static_cast<int32_t>(lowest / kBlock),
                         static_cast<int32_t>(highest / kBlock)};
        }
    }
    // The pool starts with the first scene large enough to be drawn by it: a small scene (a
    // thumbnail, a one-frame picture) never pays for starting and stopping threads.
    if (totalFaces >= f.settings.minFacesForThreads) StartPool(f);
}

void RenderFrame(const MeshObject* objects, int32_t objectCount, ObjectMatrices matrices,
                 const Matrix4& cameraMatrix, uint32_t* pixels) {
    FrameRenderState& f = frameState;
    if (objectCount <= 0) return;
    if (static_cast<size_t>(objectCount) >= f.work.size()) {
        DrawEachObject(objects, objectCount, matrices, cameraMatrix, pixels);
        return;
    }
    // The matrices exactly as RenderObject forms them: V = objectMatrix * inverse(camera)
    // and the camera position in object space from the inverse of V.
    Matrix4 cameraInverse;
    MatrixInverse(cameraMatrix, cameraInverse);
    int64_t vertices = 0;
    int64_t vertexBlocks = 0;
    int64_t faces = 0;
    for (int32_t i = 0; i < objectCount; ++i) {
        const MeshObject& object = objects[i];
        ObjectWork& w = f.work[static_cast<size_t>(i)];
        MatrixMultiply(cameraInverse, MatrixOf(matrices, i), w.view);
        Matrix4 viewToObject;
        MatrixInverse(w.view, viewToObject);
        for (int k = 0; k < 3; ++k)
            w.eye[k] = static_cast<double>(viewToObject[12 + k]);
        w.vertexCount = object.vertices != nullptr ? std::max(object.vertexCount, 0) : 0;
        w.faceCount = object.faces != nullptr ? std::max(object.faceCount, 0) : 0;
        w.firstCorner = vertices;
        w.firstVertexBlock = vertexBlocks;
        w.firstFace = faces;
        w.skipBlocks = w.firstFaceBlock >= 0 && object.faces == w.preparedFaces &&
                       object.vertices == w.preparedVertices &&
                       object.faceCount == w.preparedFaceCount &&
                       object.vertexCount == w.preparedVertexCount;
        vertices += w.vertexCount;
        vertexBlocks += BlocksOf(w.vertexCount);
        faces += w.faceCount;
    }
    if (static_cast<uint64_t>(vertices) > f.corners.size() ||
        static_cast<uint64_t>(vertexBlocks) > f.blockCodes.size()) {
        DrawEachObject(objects, objectCount, matrices, cameraMatrix, pixels);
        return;
    }
    ObjectWork& totals = f.work[static_cast<size_t>(objectCount)];
    totals.firstCorner = vertices;
    totals.firstVertexBlock = vertexBlocks;
    totals.firstFace = faces;

    f.objects = objects;
    f.objectCount = objectCount;
    f.pixels = pixels;
    f.projection = CurrentProjection();
    const float width = static_cast<float>(f.projection.width);
    const float height = static_cast<float>(f.projection.height);
    f.bounds = {width + 1.0f, height + 1.0f, width + kFar, height + kFar,
                f.projection.width <= (1 << 18) && f.projection.height <= (1 << 18)};
    f.blocksPerPiece = std::max(f.settings.vertexBatch / kBlock, 1);
    f.vertexPieces = (vertexBlocks + f.blocksPerPiece - 1) / f.blocksPerPiece;
    f.facePieces = (faces + f.settings.faceBatch - 1) / f.settings.faceBatch;
    f.nextVertexPiece.store(0, std::memory_order_relaxed);
    f.vertexPiecesDone.store(0, std::memory_order_relaxed);
    f.nextFacePiece.store(0, std::memory_order_relaxed);
    if (HavePool(f) && faces >= f.settings.minFacesForThreads) {
        DrawWithPool(f);
    } else {
        TakePieces(f, true);
    }
}

void ShutdownFrameRender() {
    FrameRenderState& f = frameState;
    StopPool(f);
    ReleaseScratch(f);
}
