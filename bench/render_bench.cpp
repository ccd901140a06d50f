// Frame cost of the renderer: a dense sphere seen by the viewing camera, single faces with a
// corner just past the near limit, far off-axis (the wireframe), and whole frames of the
// bundled scene, the sphere and the load benchmark's large scene in every render mode, turned
// as the fit view turns them and played through their keyframes (RenderScene).
//
// The machine may be shared: each RenderScene benchmark also reports the process's CPU time
// per frame (cpu_ms, all threads) and the best frame it saw (best_ms).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <ctime>
#include <string>

#include "large_scene.h"
#include "render/frame_render.h"
#include "render/line_stepper.h"
#include "render/texture.h"
#include "render/wireframe.h"
#include "scene/animation.h"
#include "scene/derived.h"
#include "scene/loader.h"
#include "view/views.h"

#include "jade_map.h"
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
                mesh.faces.push_back(Face{.material = -1,
                                          .smoothing = 0,
                                          .vertex0 = at(i, j),
                                          .vertex1 = at(i + 1, j),
                                          .vertex2 = at(i + 1, j + 1),
                                          .plane = {}});
            if (i != 0)
                mesh.faces.push_back(Face{.material = -1,
                                          .smoothing = 0,
                                          .vertex0 = at(i, j),
                                          .vertex1 = at(i + 1, j + 1),
                                          .vertex2 = at(i, j + 1),
                                          .plane = {}});
        }
    }
    mesh.faces.resize(65535);
    mesh.object.matrix = Identity();
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
    mesh.faces.assign(1, Face{.material = -1,
                              .smoothing = 0,
                              .vertex0 = &v[0],
                              .vertex1 = &v[1],
                              .vertex2 = &v[2],
                              .plane = {}});
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

// ---- Whole frames through RenderScene ----

double ProcessSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double WallSeconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void UseThreads(int64_t threads) {
    FrameRenderSettings settings = DefaultFrameRenderSettings();
    settings.threads = static_cast<int32_t>(threads);
    ConfigureFrameRender(settings);
}

// Runs `frame` (which draws one frame) per iteration, timing each, and reports the
// process's CPU time per frame and the best frame.
template <class Frame>
void TimeFrames(benchmark::State& state, Frame&& frame) {
    double cpu = 0.0, best = 1e30;
    for (auto _ : state) {
        const double wall0 = WallSeconds(), cpu0 = ProcessSeconds();
        frame();
        const double wall = WallSeconds() - wall0;
        cpu += ProcessSeconds() - cpu0;
        best = std::min(best, wall);
        state.SetIterationTime(wall);
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["cpu_ms"] = cpu / frames * 1e3;
    state.counters["best_ms"] = best * 1e3;
}

// The fit view of a scene, turning: every object through one object-to-view matrix a tick.
struct TurningView {
    ViewState view;
    std::vector<RenderInstance> instances;

    explicit TurningView(const Scene& scene) {
        StartView(view, scene, ViewMode::Fit, -1, kWidth, kHeight);
        instances.resize(static_cast<size_t>(scene.objectCount));
        for (int32_t i = 0; i < scene.objectCount; ++i)
            instances[static_cast<size_t>(i)].object = i;
    }
    void Tick() {
        AdvanceView(view);
        ViewTransform transform;
        BuildViewTransform(view, transform);
        Matrix4 m;
        ViewObjectMatrix(transform, nullptr, m);
        for (RenderInstance& instance : instances)
            instance.matrix = m;
        SetProjectionFieldOfView(kWidth, kHeight, view.pose.fieldOfView);
    }
};

RenderView FitRenderView(RenderMode mode) {
    RenderView view = DefaultRenderView();
    view.mode = mode;
    return view;
}

const RenderMode kModes[] = {RenderMode::Wireframe, RenderMode::Shaded, RenderMode::Edges,
                             RenderMode::HiddenLine};

// The bundled scene's map (jade.png, made from code) for every material of a scene that
// names a texture map, as the viewer prepares the maps it finds: one texture, one trilinear
// sampler per such material.
struct JadeMaps {
    TextureMemory memory;
    Texture texture;
    std::vector<MapSampler> samplers;
    std::vector<MapSampler> none;

    explicit JadeMaps(const Scene& scene)
        : samplers(static_cast<size_t>(scene.materialCount)),
          none(static_cast<size_t>(scene.materialCount)) {
        std::string reason;
        BuildTexture(jade_map::Pixels().data(), jade_map::kSide, jade_map::kSide,
                     TextureUse::kColor, kDefaultMaxTextureSide, memory, texture, reason);
        for (int32_t m = 0; m < scene.materialCount; ++m) {
            if (scene.materials[m].textureMap.present != 0)
                PrepareMapSampler(texture, scene.materials[m].textureMap, TextureFilter::kTrilinear,
                                  samplers[static_cast<size_t>(m)]);
        }
    }
    ~JadeMaps() { FreeTexture(texture, memory); }
    void Attach(RenderView& view) const {
        view.textureMaps = samplers.data();
        view.opacityMaps = none.data();
    }
};

// A scene turning in the fit view, in mode range(0) with range(1) threads; with `maps`, its
// textures drawn.
void TurnScene(benchmark::State& state, const Scene& scene, const JadeMaps* maps = nullptr) {
    const RenderMode mode = kModes[state.range(0)];
    UseThreads(state.range(1));
    PrepareSceneRender(scene, mode);
    TurningView turning(scene);
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    RenderView view = FitRenderView(mode);
    if (maps != nullptr) maps->Attach(view);
    TimeFrames(state, [&] {
        turning.Tick();
        view.lightMatrix = turning.instances.empty() ? Identity() : turning.instances[0].matrix;
        RenderScene(scene, turning.instances.data(), static_cast<int32_t>(turning.instances.size()),
                    view, frame.data());
        benchmark::DoNotOptimize(frame.data());
    });
    state.SetLabel(RenderModeName(mode));
    ShutdownFrameRender();
    ConfigureFrameRender(DefaultFrameRenderSettings());
}

void ModeAndThreads(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "threads"});
    for (int64_t mode = 0; mode < 4; ++mode)
        for (int64_t threads = 1; threads <= 2; ++threads)
            b->Args({mode, threads});
    b->Unit(benchmark::kMillisecond)->UseManualTime();
}

void BM_BundledScene(benchmark::State& state) {
    Scene* scene = LoadScene(TRELLIS_SOURCE_DIR "/assets/svet.3ds");
    if (scene == nullptr) {
        state.SkipWithError(LastLoadError().message.c_str());
        return;
    }
    TurnScene(state, *scene);
    FreeScene(scene);
}
BENCHMARK(BM_BundledScene)->Apply(ModeAndThreads);

// The shaded modes with the jade map on the knot. Target: 1.5 ms a shaded tick.
void ShadedModesAndThreads(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "threads"});
    for (int64_t mode = 1; mode <= 2; ++mode)
        for (int64_t threads = 1; threads <= 2; ++threads)
            b->Args({mode, threads});
    b->Unit(benchmark::kMillisecond)->UseManualTime();
}

void BM_BundledSceneTextured(benchmark::State& state) {
    Scene* scene = LoadScene(TRELLIS_SOURCE_DIR "/assets/svet.3ds");
    if (scene == nullptr) {
        state.SkipWithError(LastLoadError().message.c_str());
        return;
    }
    {
        const JadeMaps maps(*scene);
        TurnScene(state, *scene, &maps);
    }
    FreeScene(scene);
}
BENCHMARK(BM_BundledSceneTextured)->Apply(ShadedModesAndThreads);

void BM_DenseSphereScene(benchmark::State& state) {
    Mesh mesh;
    BuildSphere(mesh);
    Scene scene{};
    scene.objectCount = 1;
    scene.objects = &mesh.object;
    TurnScene(state, scene);
}
BENCHMARK(BM_DenseSphereScene)->Apply(ModeAndThreads);

// The load benchmark's large scene (about 1.8 million faces), loaded once.
Scene* LargeScene() {
    static Scene* scene = LoadScene(TheLargeScene().path.c_str());
    return scene;
}

void BM_LargeSceneTurn(benchmark::State& state) {
    if (LargeScene() == nullptr) {
        state.SkipWithError(("the large scene does not load: " + LastLoadError().message).c_str());
        return;
    }
    TurnScene(state, *LargeScene());
}
BENCHMARK(BM_LargeSceneTurn)->Apply(ModeAndThreads)->MinTime(2.0);

// The large scene textured: its material "Stone" (every face's) given a texture map, the
// jade map tiled over each grid. Target: within 1.5x of BM_LargeSceneTurn's shaded tick in
// the same run.
void BM_LargeSceneTextured(benchmark::State& state) {
    Scene* scene = LargeScene();
    if (scene == nullptr) {
        state.SkipWithError(("the large scene does not load: " + LastLoadError().message).c_str());
        return;
    }
    const int32_t materialCount = scene->materialCount;
    std::vector<MaterialMap> saved(static_cast<size_t>(materialCount));
    for (int32_t m = 0; m < materialCount; ++m) {
        MaterialMap& map = scene->materials[m].textureMap;
        saved[static_cast<size_t>(m)] = map;
        map.present = 1;
        map.uScale = map.vScale = 8.0f;
    }
    {
        const JadeMaps maps(*scene);
        TurnScene(state, *scene, &maps);
    }
    for (int32_t m = 0; m < materialCount; ++m)
        scene->materials[m].textureMap = saved[static_cast<size_t>(m)];
}
BENCHMARK(BM_LargeSceneTextured)->Apply(ShadedModesAndThreads)->MinTime(2.0);

// The large scene played through its keyframes (every mesh has an object node with its own
// track), drawn as the fit view draws playback: one instance per shown object node, its
// node's matrix times the view. Compare with BM_LargeSceneTurn in the same run.
void BM_LargeSceneAnimated(benchmark::State& state) {
    const Scene* scene = LargeScene();
    if (scene == nullptr) {
        state.SkipWithError(("the large scene does not load: " + LastLoadError().message).c_str());
        return;
    }
    const RenderMode mode = kModes[state.range(0)];
    UseThreads(state.range(1));
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    PrepareSceneRender(*scene, mode);
    TurningView turning(*scene);
    std::vector<RenderInstance> instances;
    instances.reserve(animation.nodes.size() + static_cast<size_t>(scene->objectCount));
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    RenderView view = FitRenderView(mode);
    double time = 0.0;
    TimeFrames(state, [&] {
        EvaluateAnimation(animation, AnimationFrameAt(animation, time, 30.0));
        time += 0.02;
        ViewTransform transform;
        BuildViewTransform(turning.view, transform);
        SetProjectionFieldOfView(kWidth, kHeight, turning.view.pose.fieldOfView);
        instances.clear();
        for (size_t i = 0; i < animation.nodes.size(); ++i) {
            const AnimatedNode& node = animation.nodes[i];
            if (node.kind != KeyframerObjectNode || node.record < 0 ||
                node.record >= scene->objectCount || animation.hidden[i] != 0)
                continue;
            RenderInstance instance;
            instance.object = node.record;
            ViewObjectMatrix(transform, &animation.object[i], instance.matrix);
            instances.push_back(instance);
        }
        ViewObjectMatrix(transform, nullptr, view.lightMatrix);
        RenderScene(*scene, instances.data(), static_cast<int32_t>(instances.size()), view,
                    frame.data());
        benchmark::DoNotOptimize(frame.data());
    });
    state.counters["instances"] = static_cast<double>(instances.size());
    state.SetLabel(RenderModeName(mode));
    ShutdownFrameRender();
    ConfigureFrameRender(DefaultFrameRenderSettings());
}
BENCHMARK(BM_LargeSceneAnimated)->Apply(ModeAndThreads)->MinTime(2.0);

}  // namespace
