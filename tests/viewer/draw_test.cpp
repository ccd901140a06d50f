// DrawScene: every view and every placing of the objects through the one instance list.
//
// In the wireframe a frame is, bit for bit, RenderObject's for each instance in turn on black
// (the turn's objects, or an animation's nodes, several on one mesh); in every mode DrawScene
// sets every pixel of the frame, whatever it held before.
#include "app/draw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/viewer.h"
#include "fixture_scene.h"
#include "load_fixture.h"
#include "render/line_stepper.h"
#include "render/wireframe.h"
#include "view/views.h"

namespace {

using Frame = std::vector<uint32_t>;
constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 120;
constexpr uint32_t kStale = 0x00DEADBEu;  // what the frame held before: never a drawn colour

Matrix4 Placed(float angle, float x, float z) {
    Matrix4 m;
    MatrixIdentity(m);
    MatrixRotateY(m, angle);
    MatrixTranslate(m, x, 0.0f, z);
    return m;
}

// RenderObject for each instance in turn on black: the fixed view through `camera`, the
// others through the view's transform folded into each matrix.
Frame Reference(const Scene& scene, const ViewState& view, const Matrix4& camera,
                const std::vector<ObjectInstance>& instances) {
    Frame frame(static_cast<size_t>(kWidth * kHeight), 0u);
    if (view.mode == ViewMode::Fixed) {
        SetProjection(kWidth, kHeight);
    } else {
        SetProjectionFieldOfView(kWidth, kHeight, view.pose.fieldOfView);
    }
    ViewTransform transform = {};
    BuildViewTransform(view, transform);
    Matrix4 identity;
    MatrixIdentity(identity);
    for (const ObjectInstance& instance : instances) {
        const MeshObject& mesh = scene.objects[instance.object];
        if (view.mode == ViewMode::Fixed) {
            RenderObject(instance.matrix, camera, mesh, frame.data());
        } else {
            Matrix4 m;
            ViewObjectMatrix(transform, &instance.matrix, m);
            RenderObject(m, identity, mesh, frame.data());
        }
    }
    return frame;
}

TEST(DrawScene, WireframeIsRenderObjectPerInstanceInEveryView) {
    ScenePtr scene = LoadBytes(FixtureSceneBytes());
    ASSERT_NE(scene, nullptr);
    ResetObjectSpins(*scene);
    Matrix4 camera;
    BuildFixedCamera(camera);
    // An animation's frame: the box at two nodes, the square at one.
    const std::vector<ObjectInstance> nodes = {{0, Placed(0.3f, -30.0f, 0.0f)},
                                               {1, Placed(0.0f, 0.0f, 10.0f)},
                                               {0, Placed(1.1f, 25.0f, 5.0f)}};
    const int32_t perObject[] = {2, 1};
    for (ViewMode mode : {ViewMode::Fixed, ViewMode::Fit}) {
        SCOPED_TRACE(mode == ViewMode::Fixed ? "fixed" : "fit");
        ViewState view;
        StartView(view, *scene, mode, -1, kWidth, kHeight);
        for (int turn = 0; turn < 3; ++turn) {
            AdvanceView(view);
            for (int32_t i = 0; i < scene->objectCount; ++i)
                MatrixRotateY(scene->objects[i].matrix, kSpinStep);
        }
        // The turn: each object once, at its own matrix in the fixed view; the view turns
        // in the others.
        std::vector<ObjectInstance> turned;
        for (int32_t i = 0; i < scene->objectCount; ++i)
            turned.push_back(
                {i, mode == ViewMode::Fixed ? scene->objects[i].matrix : Placed(0, 0, 0)});
        for (bool animated : {false, true}) {
            SCOPED_TRACE(animated ? "animation" : "turn");
            DrawingState draw;
            PrepareDrawing(draw, *scene, RenderMode::Wireframe, animated ? perObject : nullptr);
            SceneMatrices matrices;
            matrices.fixedCamera = &camera;
            if (animated) {
                matrices.instances = nodes.data();
                matrices.instanceCount = nodes.size();
            }
            Frame frame(static_cast<size_t>(kWidth * kHeight), kStale);
            DrawScene(draw, *scene, view, RenderMode::Wireframe, matrices, "fixture", frame.data(),
                      kWidth, kHeight);
            const Frame expected = Reference(*scene, view, camera, animated ? nodes : turned);
            EXPECT_GT(std::count(expected.begin(), expected.end(), kLineColour), 100);
            EXPECT_TRUE(frame == expected);
        }
    }
}

// The shell no longer clears the frame before drawing a scene: every mode covers it all.
TEST(DrawScene, EveryModeSetsEveryPixel) {
    ScenePtr scene = LoadBytes(FixtureSceneBytes());
    ASSERT_NE(scene, nullptr);
    ResetObjectSpins(*scene);
    Matrix4 camera;
    BuildFixedCamera(camera);
    ViewState view;
    StartView(view, *scene, ViewMode::Fit, -1, kWidth, kHeight);
    DrawingState draw;
    PrepareDrawing(draw, *scene, RenderMode::Shaded, nullptr);
    SceneMatrices matrices;
    matrices.fixedCamera = &camera;
    for (int32_t m = 0; m < kRenderModeCount; ++m) {
        const auto mode = static_cast<RenderMode>(m);
        SCOPED_TRACE(RenderModeName(mode));
        Frame frame(static_cast<size_t>(kWidth * kHeight), kStale);
        DrawScene(draw, *scene, view, mode, matrices, "fixture", frame.data(), kWidth, kHeight);
        EXPECT_EQ(std::count(frame.begin(), frame.end(), kStale), 0);
        const uint32_t background = SceneBackground(*scene, mode);
        EXPECT_EQ(frame[0], background);
        EXPECT_GT(std::count_if(frame.begin(), frame.end(),
                                [background](uint32_t p) { return p != background; }),
                  200);
    }
}

}  // namespace
