// Frame cost of the wireframe renderer: a dense sphere seen by the viewing camera, and
// single faces with a corner just past the near limit, far off-axis.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "render/frame_render.h"
#include "render/line_stepper.h"
#include "render/wireframe.h"
#include "scene/derived.h"

#include "view_camera.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    MeshObject object{};

    void Attach() {
        object.vertexCount = static_cast<int32_t>(vertices.size());
        object.vertices = vertices.data();
        object.faceCount = static_cast<int32_t>(faces.size());
        object.faces = faces.data();
    }
};

// The camera position in the object's space, as the renderer's facing test sees it.
void CameraInObject(const Matrix4& object, const Matrix4& camera, double e[3]) {
    Matrix4 view, viewToObject;
    MatrixInverse(camera, view);
    MatrixMultiply(view, object, view);
    MatrixInverse(view, viewToObject);
    for (int i = 0; i < 3; ++i)
        e[i] = static_cast<double>(viewToObject[12 + i]);
}

int32_t CountFacing(const Mesh& mesh, const double e[3]) {
    int32_t drawn = 0;
    for (const Face& f : mesh.faces) {
        const double s = static_cast<double>(f.plane[0]) * e[0] +
                         static_cast<double>(f.plane[1]) * e[1] +
                         static_cast<double>(f.plane[2]) * e[2] + static_cast<double>(f.plane[3]);
        drawn += s <= 0.1 ? 1 : 0;
    }
    return drawn;
}

// Gives every face the other winding and recomputes the planes.
void FlipWinding(Mesh& mesh) {
    for (Face& f : mesh.faces)
        std::swap(f.vertex1, f.vertex2);
    ComputeFacePlanes(mesh.object);
}

// A latitude-longitude sphere of radius 85 (about 440 pixels across from the viewing
// camera) with 256 slices and 129 stacks: one triangle per cell at the poles, two
// elsewhere, 2 * 256 * 128 = 65,536 faces, of which the last is dropped to keep to 65,535. The
// winding is chosen so that the faces turned towards the camera are the ones drawn.
void BuildSphere(Mesh& mesh) {
    constexpr int slices = 256, stacks = 129;
    const double radius = 85.0, pi = 3.141592653589793;
    for (int i = 0; i <= stacks; ++i) {
        const double theta = pi * i / stacks;
        for (int j = 0; j <= slices; ++j) {
            const double phi = 2.0 * pi * j / slices;
            mesh.vertices.push_back(Vertex{
                static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                static_cast<float>(radius * std::cos(theta)),
                static_cast<float>(radius * std::sin(theta) * std::sin(phi)), 0, 0, 0, 0, 0});
        }
    }
    Vertex* v = mesh.vertices.data();
    const auto at = [v](int i, int j) { return &v[i * (slices + 1) + j]; };
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            if (i != stacks - 1)
                mesh.faces.push_back(Face{-1, 0, at(i, j), at(i + 1, j), at(i + 1, j + 1), {}});
            if (i != 0)
                mesh.faces.push_back(Face{-1, 0, at(i, j), at(i + 1, j + 1), at(i, j + 1), {}});
        }
    }
    mesh.faces.resize(65535);
    mesh.Attach();
    ComputeFacePlanes(mesh.object);
    double e[3];
    CameraInObject(Identity(), ViewCamera(), e);
    if (2 * CountFacing(mesh, e) > mesh.object.faceCount) FlipWinding(mesh);
}

// One frame tick's drawing work: clear, turn the object one step, render it.
void BM_DenseSphereFrame(benchmark::State& state) {
    Mesh mesh;
    BuildSphere(mesh);
    SetProjection(kWidth, kHeight);
    const Matrix4 camera = ViewCamera();
    Matrix4 object = Identity();
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    double e[3];
    CameraInObject(object, camera, e);
    const int32_t drawnFaces = CountFacing(mesh, e);
    for (auto _ : state) {
        std::memset(frame.data(), 0, frame.size() * sizeof(uint32_t));
        MatrixRotateY(object, 0.06283185f);
        RenderObject(object, camera, mesh.object, frame.data());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    int64_t lit = 0;
    for (const uint32_t p : frame)
        lit += p != 0 ? 1 : 0;
    state.counters["faces"] = mesh.object.faceCount;
    state.counters["faces_drawn"] = drawnFaces;
    state.counters["pixels_lit"] = static_cast<double>(lit);
}
BENCHMARK(BM_DenseSphereFrame)->Unit(benchmark::kMillisecond);

// The same frame drawn as the viewer's tick draws it: RenderFrame with the given number of
// threads (each vertex projected once, faces shared between the threads). Target: 1 ms.
void BM_DenseSphereWholeFrame(benchmark::State& state) {
    Mesh mesh;
    BuildSphere(mesh);
    SetProjection(kWidth, kHeight);
    FrameRenderSettings settings = DefaultFrameRenderSettings();
    settings.threads = static_cast<int32_t>(state.range(0));
    ConfigureFrameRender(settings);
    PrepareFrameRender(&mesh.object, 1);
    const Matrix4 camera = ViewCamera();
    mesh.object.matrix = Identity();
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    for (auto _ : state) {
        std::memset(frame.data(), 0, frame.size() * sizeof(uint32_t));
        MatrixRotateY(mesh.object.matrix, 0.06283185f);
        RenderFrame(&mesh.object, 1, OwnMatrices(&mesh.object), camera, frame.data());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.counters["threads"] = settings.threads;
    ShutdownFrameRender();
    ConfigureFrameRender(DefaultFrameRenderSettings());
}
BENCHMARK(BM_DenseSphereWholeFrame)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One face seen through identity matrices (view space is object space), with corners
// given in view space; the winding is chosen so that the face is drawn.
void BuildFace(Mesh& mesh, const Vertex (&corners)[3]) {
    mesh.vertices.assign(corners, corners + 3);
    Vertex* v = mesh.vertices.data();
    mesh.faces.assign(1, Face{-1, 0, &v[0], &v[1], &v[2], {}});
    mesh.Attach();
    ComputeFacePlanes(mesh.object);
    const double origin[3] = {0, 0, 0};
    if (CountFacing(mesh, origin) == 0) FlipWinding(mesh);
}

// Steps the plain walk of the face's three edges would take.
double PlainWalkSteps(const Mesh& mesh) {
    Matrix4 view = Identity();
    ScreenPoint slot[3];
    bool projected[3];
    const Face& f = mesh.faces[0];
    const Vertex* corners[3] = {f.vertex0, f.vertex1, f.vertex2};
    for (int k = 0; k < 3; ++k)
        projected[k] = ProjectCorner(view, *corners[k], slot[k]);
    double steps = 0;
    const int edges[3][2] = {{0, 1}, {2, 1}, {0, 2}};
    for (const auto& edge : edges) {
        if (!projected[edge[0]] || !projected[edge[1]]) continue;
        const double dx =
            static_cast<double>(ScreenToInt(slot[edge[0]].x)) - ScreenToInt(slot[edge[1]].x);
        const double dy =
            static_cast<double>(ScreenToInt(slot[edge[0]].y)) - ScreenToInt(slot[edge[1]].y);
        steps += std::fmax(std::fabs(dx), std::fabs(dy));
    }
    return steps;
}

// Corners just past the near limit (depth 0.1000001) and far off-axis:
//   0: one far corner, projected about 1.3e7 pixels away (inside the 32-bit range);
//   1: one far corner beyond the 32-bit range (clamped);
//   2: two far corners on opposite sides, so that their edge crosses the frame midway.
void BM_NearLimitFace(benchmark::State& state) {
    const float near = 0.1000001f;
    const Vertex cases[3][3] = {
        {{0, 0, 10, 0, 0, 0, 0, 0}, {5, 0, 10, 0, 0, 0, 0, 0}, {-4000, 3000, near, 0, 0, 0, 0, 0}},
        {{0, 0, 10, 0, 0, 0, 0, 0}, {5, 0, 10, 0, 0, 0, 0, 0}, {3e6f, -2e6f, near, 0, 0, 0, 0, 0}},
        {{-4000, 7, near, 0, 0, 0, 0, 0},
         {4000, -5, near, 0, 0, 0, 0, 0},
         {0, 1, 10, 0, 0, 0, 0, 0}},
    };
    Mesh mesh;
    BuildFace(mesh, cases[state.range(0)]);
    SetProjection(kWidth, kHeight);
    const Matrix4 identity = Identity();
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    for (auto _ : state) {
        RenderObject(identity, identity, mesh.object, frame.data());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    int64_t lit = 0;
    for (const uint32_t p : frame)
        lit += p != 0 ? 1 : 0;
    state.counters["plain_walk_steps"] = PlainWalkSteps(mesh);
    state.counters["pixels_lit"] = static_cast<double>(lit);
}
BENCHMARK(BM_NearLimitFace)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
