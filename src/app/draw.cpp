// The frame's content: projection, view and the objects' places, drawn by the renderer.
#include "app/draw.h"

#include "render/wireframe.h"

namespace {

// The camera matrix of the fit and camera views: their whole transform is the object matrix.
constexpr Matrix4 kIdentity = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                               0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

}  // namespace

void DrawScene(const Scene& scene, const ViewState& view, const SceneMatrices& matrices,
               uint32_t* pixels, int32_t width, int32_t height) {
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
            return;
        }
        Matrix4 objectView;
        ViewObjectMatrix(transform, nullptr, objectView);
        RenderFrame(scene.objects, scene.objectCount, SameMatrix(objectView), kIdentity, pixels);
        return;
    }
    for (size_t i = 0; i < matrices.instanceCount; ++i) {
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
}
