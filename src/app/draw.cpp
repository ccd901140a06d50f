// The frame's content: projection, view and the objects' places, drawn by the frame renderer.
#include "app/draw.h"

#include <algorithm>
#include <cstring>

#include "app/frame_budget.h"
#include "render/wireframe.h"

void PrepareDrawing(DrawingState& draw, const Scene& scene, RenderMode mode,
                    const int32_t* instancesPerObject) {
    PrepareSceneRender(scene, mode, instancesPerObject);
    size_t room = 0;
    for (int32_t i = 0; i < scene.objectCount; ++i)
        room += instancesPerObject != nullptr
                    ? static_cast<size_t>(std::max(instancesPerObject[i], 0))
                    : 1;
    draw.instances.assign(room, RenderInstance{});
}

namespace {

// The faces the frame would draw: every object once for the turn, each instance's object
// once per instance.
int64_t FrameFaces(const Scene& scene, const SceneMatrices& matrices) {
    int64_t faces = 0;
    if (matrices.instances == nullptr) {
        for (int32_t i = 0; i < scene.objectCount; ++i)
            faces += scene.objects[i].faceCount;
        return faces;
    }
    for (size_t i = 0; i < matrices.instanceCount; ++i)
        faces += scene.objects[matrices.instances[i].object].faceCount;
    return faces;
}

}  // namespace

bool DrawScene(DrawingState& draw, const Scene& scene, const ViewState& view, RenderMode mode,
               const SceneMatrices& matrices, const char* sceneName, uint32_t* pixels,
               int32_t width, int32_t height, DrawnMaps maps) {
    const int64_t faces = FrameFaces(scene, matrices);
    if (faces > frameBudget.maxFaces) {
        // The notice on black: the frame holds the last tick's picture until drawn.
        std::memset(pixels, 0,
                    static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(uint32_t));
    }
    if (!FrameFacesAllowed(faces, pixels, width, height, sceneName)) return false;
    const bool fixed = view.mode == ViewMode::Fixed;
    if (fixed) {
        SetProjection(width, height);
    } else {
        SetProjectionFieldOfView(width, height, view.pose.fieldOfView);
    }
    RenderView render = DefaultRenderView();
    render.mode = mode;
    render.textureMaps = maps.texture;
    render.opacityMaps = maps.opacity;
    ViewTransform transform = {};
    if (fixed) {
        // The scene's own space, seen through the fixed camera: the lights stand where the
        // file puts them.
        render.camera = *matrices.fixedCamera;
    } else {
        // The view's transform is in every instance's matrix; the camera is the identity.
        BuildViewTransform(view, transform);
        ViewObjectMatrix(transform, nullptr, render.lightMatrix);
    }

    // The instances: the turn's objects (once each), or the animation's.
    const bool turn = matrices.instances == nullptr;
    const size_t count =
        turn ? static_cast<size_t>(std::max(scene.objectCount, 0)) : matrices.instanceCount;
    if (draw.instances.size() < count) draw.instances.resize(count);
    for (size_t i = 0; i < count; ++i) {
        RenderInstance& instance = draw.instances[i];
        if (turn) {
            instance.object = static_cast<int32_t>(i);
            if (fixed) {
                instance.matrix = scene.objects[i].matrix;
            } else {
                instance.matrix = render.lightMatrix;
            }
            continue;
        }
        const ObjectInstance& shown = matrices.instances[i];
        instance.object = shown.object;
        if (fixed) {
            instance.matrix = shown.matrix;
        } else {
            ViewObjectMatrix(transform, &shown.matrix, instance.matrix);
        }
    }
    RenderScene(scene, draw.instances.data(), static_cast<int32_t>(count), render, pixels);
    return true;
}
