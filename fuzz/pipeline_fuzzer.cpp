// libFuzzer target: every input goes the whole way a picture of it goes, as the program
// takes it: loaded under a limit of faces, its animation prepared and evaluated, one small
// frame of its meshes drawn in the fit view, and one frame of its keyframer instances in the
// wireframe and one shaded (with edges), each under the frame's budget of faces.
//
// Beyond what the sanitizers catch, the target aborts (a crash the fuzzer reports) when
// - the work of a frame passes its budget: more faces drawn than kFrameFaces, or a load
//   that kept more faces than kLoadFaces;
// - the memory the input made the pipeline hold (the scene's records and its prepared
//   animation) passes kBytesPerInputByte for each byte of the input, plus a fixed slack.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "render/frame_render.h"
#include "render/wireframe.h"
#include "scene/animation.h"
#include "scene/loader.h"
#include "view/views.h"

#include "memory_input.h"

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr int64_t kLoadFaces = 1000000;   // the load's limit (the program's is 50 million)
constexpr int64_t kFrameFaces = 2000000;  // faces a frame may draw, instances counted
constexpr size_t kBytesPerInputByte = 64;
constexpr size_t kSlackBytes = size_t{1} << 20;

MemoryInput input;
std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "pipeline_fuzzer: %s\n", what);
    std::abort();
}

template <class T>
size_t Bytes(const std::vector<T>& v) {
    return v.capacity() * sizeof(T);
}

// What the prepared animation holds.
size_t AnimationBytes(const SceneAnimation& a) {
    return Bytes(a.nodes) + Bytes(a.order) + Bytes(a.vectorKeys) + Bytes(a.rotationKeys) +
           Bytes(a.hideFrames) + Bytes(a.objectInverse) + Bytes(a.cameraNode) +
           Bytes(a.targetNode) + Bytes(a.worldFile) + Bytes(a.world) + Bytes(a.object) +
           Bytes(a.hidden);
}

// The faces every mesh has once: the frame of the turn and the views.
int64_t SceneFaces(const Scene& scene) {
    int64_t faces = 0;
    for (int32_t i = 0; i < scene.objectCount; ++i)
        faces += scene.objects[i].faceCount;
    return faces;
}

// One frame of the scene's meshes in the fit view, as the viewer draws a named scene.
void DrawFitFrame(Scene& scene) {
    Check(SceneFaces(scene) <= kLoadFaces, "a load kept more faces than its limit");
    ViewState view;
    StartView(view, scene, ViewMode::Fit, -1, kWidth, kHeight);
    ViewTransform transform;
    BuildViewTransform(view, transform);
    Matrix4 matrix, identity;
    ViewObjectMatrix(transform, nullptr, matrix);
    MatrixIdentity(identity);
    SetProjectionFieldOfView(kWidth, kHeight, view.pose.fieldOfView);
    std::fill(pixels.begin(), pixels.end(), 0u);
    PrepareFrameRender(scene.objects, scene.objectCount);
    RenderFrame(scene.objects, scene.objectCount, SameMatrix(matrix), identity, pixels.data());
}

// The keyframer's instances at the evaluated frame: a mesh once per shown object node naming
// it, at a finite matrix; `faces` is the faces they draw in all.
std::vector<RenderInstance> FrameInstances(const Scene& scene, const SceneAnimation& animation,
                                           int64_t& faces) {
    std::vector<RenderInstance> instances;
    faces = 0;
    for (size_t i = 0; i < animation.nodes.size(); ++i) {
        const AnimatedNode& node = animation.nodes[i];
        if (node.kind != KeyframerObjectNode || node.record < 0 ||
            node.record >= scene.objectCount || animation.hidden[i] != 0 ||
            !NodeMatrixIsFinite(animation, static_cast<int32_t>(i))) {
            continue;
        }
        faces += scene.objects[node.record].faceCount;
        instances.push_back({node.record, animation.object[i]});
    }
    return instances;
}

// One frame of the instances in the wireframe, within the frame's budget: counted first,
// drawn only when it fits.
void DrawInstances(const Scene& scene, const std::vector<RenderInstance>& instances,
                   int64_t faces) {
    if (faces > kFrameFaces) return;  // the program says "scene too large to draw"
    Matrix4 camera;
    MatrixIdentity(camera);
    MatrixTranslate(camera, 0.0f, 0.0f, 150.0f);
    SetProjection(kWidth, kHeight);
    int64_t drawn = 0;
    for (const RenderInstance& instance : instances) {
        RenderObject(instance.matrix, camera, scene.objects[instance.object], pixels.data());
        drawn += scene.objects[instance.object].faceCount;
    }
    Check(drawn <= kFrameFaces, "a frame drew more faces than its budget");
}

// The same instances drawn shaded, with their edges, through the scene renderer: the face
// instances of the solid path count against the same budget.
void DrawShadedInstances(const Scene& scene, const std::vector<RenderInstance>& instances,
                         int64_t faces) {
    if (faces > kFrameFaces) return;
    std::vector<int32_t> perObject(static_cast<size_t>(std::max(scene.objectCount, 0)), 0);
    for (const RenderInstance& instance : instances)
        ++perObject[static_cast<size_t>(instance.object)];
    RenderView view = DefaultRenderView();
    MatrixTranslate(view.camera, 0.0f, 0.0f, 150.0f);
    view.mode = RenderMode::Edges;
    SetProjection(kWidth, kHeight);
    PrepareSceneRender(scene, view.mode, perObject.data());
    RenderScene(scene, instances.data(), static_cast<int32_t>(instances.size()), view,
                pixels.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    input = OpenMemoryInput("pipeline_fuzzer");
    LoadLimits limits;
    limits.maxFaces = kLoadFaces;
    SetLoadLimits(limits);
    // One thread: the fuzzer's reports stay in one stack.
    FrameRenderSettings settings = DefaultFrameRenderSettings();
    settings.threads = 1;
    ConfigureFrameRender(settings);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FillMemoryInput(input, data, size);
    Scene* scene = LoadScene(input.path);
    if (scene == nullptr) return 0;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    const size_t held = scene->arena.bytesReserved + AnimationBytes(animation);
    Check(held <= kBytesPerInputByte * size + kSlackBytes, "more memory than the input justifies");
    bool first = true;
    for (double frame : {animation.firstFrame, (animation.firstFrame + animation.lastFrame) / 2}) {
        EvaluateAnimation(animation, frame);
        int64_t faces = 0;
        const std::vector<RenderInstance> instances = FrameInstances(*scene, animation, faces);
        DrawInstances(*scene, instances, faces);
        if (first) DrawShadedInstances(*scene, instances, faces);
        first = false;
    }
    DrawFitFrame(*scene);
    FreeScene(scene);
    return 0;
}
