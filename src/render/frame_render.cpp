// The whole-frame renderer.
//
// A frame is drawn in two steps. First every vertex of every object is projected once
// into the corners array (8 bytes a vertex): the screen position that ProjectCorner gives,
// or NaN where ProjectCorner gives none (view depth 0.1 or less). Then every face that
// faces the camera draws its three edges from those corners with DrawLine. DrawLine draws
// nothing for a line with a NaN end, which is exactly the edge that RenderObject leaves
// out (an end with no screen position) or that draws nothing (an end that projects to NaN).
//
// Both steps are cut into pieces (a batch of vertices, a batch of faces, counted over all
// objects in turn) that the caller and the pool's threads take one at a time from a shared
// counter, so a thread that the system runs late simply takes fewer pieces. All corners are
// projected before any face is drawn.
#include "render/frame_render.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "render/line_stepper.h"
#include "render/wireframe.h"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__) && !defined(TRELLIS_NO_THREADS)
#define TRELLIS_NO_THREADS 1
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
constexpr int32_t kMaxThreads = 64;

// One object's part of the frame.
struct ObjectWork {
    Matrix4 view;         // object space to view space
    double eye[3];        // the camera position in object space
    int64_t firstCorner;  // its first vertex's place in the corners array
    int64_t firstFace;    // the number of faces of the objects before it
    int32_t vertexCount;  // vertices projected (0 without a vertex array)
    int32_t faceCount;    // faces drawn (0 without a face array)
};

struct FrameRenderState {
    FrameRenderSettings settings = DefaultFrameRenderSettings();
    std::vector<ScreenPoint> corners;  // every object's projected vertices in turn
    std::vector<ObjectWork> work;      // one per object, and one past the last with the totals

    // The frame being drawn, set by the caller before any thread takes a piece.
    const MeshObject* objects = nullptr;
    uint32_t* pixels = nullptr;
    int32_t objectCount = 0;
    ProjectionParameters projection = {};
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

// ProjectCorner for vertices [begin, end) of one object, written as one loop of plain
// arithmetic that the compiler can vectorise. Every operation is ProjectCorner's, in its
// order and precision. The conversions to float are the IEEE ones, which round to nearest
// and overflow to an infinity exactly as ProjectCorner's conversion does (a NaN may keep
// another payload, and any NaN end leaves the line out).
void ProjectVertices(const Matrix4& view, const Vertex* vertices, int32_t begin, int32_t end,
                     const ProjectionParameters& projection, ScreenPoint* corners) {
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
        const float sx = static_cast<float>(static_cast<double>(xv) * scale / zv + halfWidth);
        const float sy = static_cast<float>(static_cast<double>(yv) * scale / zv + halfHeight);
        corners[i].x = zv > kNearLimit ? sx : kNoCorner;
        corners[i].y = sy;
    }
}

// Faces [begin, end) of one object: the facing test and the three edges, as RenderObject
// draws them, with the corners taken from the projected vertices.
void DrawFaces(const ObjectWork& work, const MeshObject& object, int32_t begin, int32_t end,
               const ScreenPoint* corners, uint32_t* pixels) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(object.vertices);
    const uintptr_t extent = static_cast<uintptr_t>(work.vertexCount) * sizeof(Vertex);
    const auto corner = [&](const Vertex* vertex) {
        const uintptr_t offset = reinterpret_cast<uintptr_t>(vertex) - base;
        if (offset < extent) return corners[offset / sizeof(Vertex)];
        // A corner outside the object's own vertex array (only objects built by hand
        // have one) is projected on its own.
        ScreenPoint slot = {kNoCorner, kNoCorner};
        ProjectCorner(work.view, *vertex, slot);
        return slot;
    };
    const double ex = work.eye[0], ey = work.eye[1], ez = work.eye[2];
    for (int32_t i = begin; i < end; ++i) {
        const Face& face = object.faces[i];
        const double s =
            static_cast<double>(face.plane[0]) * ex + static_cast<double>(face.plane[1]) * ey +
            static_cast<double>(face.plane[2]) * ez + static_cast<double>(face.plane[3]);
        if (s > kFacingLimit) continue;
        assert(face.vertex0 != nullptr && face.vertex1 != nullptr && face.vertex2 != nullptr);
        const ScreenPoint c0 = corner(face.vertex0);
        const ScreenPoint c1 = corner(face.vertex1);
        const ScreenPoint c2 = corner(face.vertex2);
        DrawLine(c0, c1, pixels);
        DrawLine(c2, c1, pixels);
        DrawLine(c0, c2, pixels);
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

void ProjectPiece(FrameRenderState& f, int64_t piece) {
    const int64_t batch = f.settings.vertexBatch;
    const int64_t total = f.work[static_cast<size_t>(f.objectCount)].firstCorner;
    const int64_t start = piece * batch;
    const int64_t stop = std::min(start + batch, total);
    for (int32_t o = ObjectHolding(f, start, &ObjectWork::firstCorner);
         o < f.objectCount && f.work[static_cast<size_t>(o)].firstCorner < stop; ++o) {
        const ObjectWork& w = f.work[static_cast<size_t>(o)];
        const int64_t begin = std::max(start, w.firstCorner) - w.firstCorner;
        const int64_t end = std::min(stop, w.firstCorner + w.vertexCount) - w.firstCorner;
        if (begin >= end) continue;
        ProjectVertices(w.view, f.objects[o].vertices, static_cast<int32_t>(begin),
                        static_cast<int32_t>(end), f.projection, f.corners.data() + w.firstCorner);
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
        DrawFaces(w, f.objects[o], static_cast<int32_t>(begin), static_cast<int32_t>(end),
                  f.corners.data() + w.firstCorner, f.pixels);
    }
}

// Takes pieces until none is left: first projections, then, once every projection is
// done (by whichever thread took it), faces.
void TakePieces(FrameRenderState& f) {
    for (;;) {
        const int64_t piece = f.nextVertexPiece.fetch_add(1, std::memory_order_relaxed);
        if (piece >= f.vertexPieces) break;
        ProjectPiece(f, piece);
        f.vertexPiecesDone.fetch_add(1, std::memory_order_release);
    }
    while (f.vertexPiecesDone.load(std::memory_order_acquire) < f.vertexPieces) {
#if !defined(TRELLIS_NO_THREADS)
        std::this_thread::yield();
#endif
    }
    for (;;) {
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
        TakePieces(f);
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
    TakePieces(f);
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
    TakePieces(f);
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

// The plain path: each object drawn by RenderObject in turn.
void DrawEachObject(const MeshObject* objects, int32_t objectCount, ObjectMatrices matrices,
                    const Matrix4& cameraMatrix, uint32_t* pixels) {
    for (int32_t i = 0; i < objectCount; ++i)
        RenderObject(MatrixOf(matrices, i), cameraMatrix, objects[i], pixels);
}

}  // namespace

ObjectMatrices OwnMatrices(const MeshObject* objects) {
    return {&objects->matrix, sizeof(MeshObject)};
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
    size_t vertices = 0;
    for (int32_t i = 0; i < objectCount; ++i) {
        if (objects[i].vertices != nullptr && objects[i].vertexCount > 0)
            vertices += static_cast<size_t>(objects[i].vertexCount);
    }
    const size_t records = objectCount > 0 ? static_cast<size_t>(objectCount) + 1 : 1;
    try {
        if (f.corners.size() != vertices) std::vector<ScreenPoint>(vertices).swap(f.corners);
        if (f.work.size() != records) std::vector<ObjectWork>(records).swap(f.work);
    } catch (const std::bad_alloc&) {
        // Without scratch arrays every frame takes the plain path.
        std::vector<ScreenPoint>().swap(f.corners);
        std::vector<ObjectWork>().swap(f.work);
    }
    StartPool(f);
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
        w.firstFace = faces;
        vertices += w.vertexCount;
        faces += w.faceCount;
    }
    if (static_cast<uint64_t>(vertices) > f.corners.size()) {
        DrawEachObject(objects, objectCount, matrices, cameraMatrix, pixels);
        return;
    }
    ObjectWork& totals = f.work[static_cast<size_t>(objectCount)];
    totals.firstCorner = vertices;
    totals.firstFace = faces;

    f.objects = objects;
    f.objectCount = objectCount;
    f.pixels = pixels;
    f.projection = CurrentProjection();
    f.vertexPieces = (vertices + f.settings.vertexBatch - 1) / f.settings.vertexBatch;
    f.facePieces = (faces + f.settings.faceBatch - 1) / f.settings.faceBatch;
    f.nextVertexPiece.store(0, std::memory_order_relaxed);
    f.vertexPiecesDone.store(0, std::memory_order_relaxed);
    f.nextFacePiece.store(0, std::memory_order_relaxed);
    if (HavePool(f) && faces >= f.settings.minFacesForThreads) {
        DrawWithPool(f);
    } else {
        TakePieces(f);
    }
}

void ShutdownFrameRender() {
    FrameRenderState& f = frameState;
    StopPool(f);
    std::vector<ScreenPoint>().swap(f.corners);
    std::vector<ObjectWork>().swap(f.work);
}
