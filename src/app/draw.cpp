// The frame's content: projection, view and the objects' places, drawn by the renderer.
#include "app/draw.h"

#include "app/frame_budget.h"
#include "render/frame_stop.h"
#include "render/wireframe.h"

namespace {

// The camera matrix of the fit and camera views: their whole transform is the object matrix.
constexpr Matrix4 kIdentity = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                               0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

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

bool DrawScene(const Scene& scene, const ViewState& view, const SceneMatrices& matrices,
               const char* sceneName, uint32_t* pixels, int32_t width, int32_t height) {
    if (!FrameFacesAllowed(FrameFaces(scene, matrices), pixels, width, height, sceneName)) {
        return false;
    }
    const bool fixed = view.mode == ViewMode::Fixed;
    if (fixed) {
        SetProjection(width, height);
    } else {
        SetProjectionFieldOfView(width, height, view.pose.fieldOfView);
    }
    ViewTransform transform = {};
    if (!fixed) BuildViewTransform(view, transform);

    if (matrices.instances == nullptr) {
        // The turn: every object once, through the whole-frame renderer.
        if (fixed) {
            RenderFrame(scene.objects, scene.objectCount, OwnMatrices(scene.objects),
                        *matrices.fixedCamera, pixels);
            return true;
        }
        Matrix4 objectView;
        ViewObjectMatrix(transform, nullptr, objectView);
        RenderFrame(scene.objects, scene.objectCount, SameMatrix(objectView), kIdentity, pixels);
        return true;
    }
    for (size_t i = 0; i < matrices.instanceCount && !CheckFrameStop(); ++i) {
        const ObjectInstance& instance = matrices.instances[i];
        const MeshObject& mesh = scene.objects[instance.object];
        if (fixed) {
            RenderObject(instance.matrix, *matrices.fixedCamera, mesh, pixels);
            continue;
        }
        Matrix4 objectView;
        ViewObjectMatrix(transform, &instance.matrix, objectView);
        RenderObject(objectView, kIdentity, mesh, pixels);
    }
    return true;
}
