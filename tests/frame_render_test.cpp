// The whole-frame renderer against RenderObject drawing each object in turn: the same
// frames, bit for bit, over a whole turn of the bundled scene, of a dense sphere and of a
// scene of faces with corners about the near limit, far off-axis and on the frame's edges,
// with one thread and with several taking small pieces of work.
#include "render/frame_render.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "render/frame_stop.h"
#include "render/wireframe.h"
#include "scene/derived.h"
#include "scene/loader.h"

#include "built_meshes.h"
#include "view_camera.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr float kSpin = 0.06283185f;  // the viewer's turn per tick
using Frame = std::vector<uint32_t>;

// The frame RenderObject gives for each object in turn.
Frame EachObjectFrame(const MeshObject* objects, int32_t count, const Matrix4& camera) {
    Frame frame(size_t{kWidth} * kHeight, 0);
    for (int32_t i = 0; i < count; ++i)
        RenderObject(objects[i].matrix, camera, objects[i], frame.data());
    return frame;
}

size_t LitPixels(const Frame& frame) {
    size_t lit = 0;
    for (const uint32_t p : frame)
        lit += p != 0 ? 1 : 0;
    return lit;
}

class FrameRender : public ::testing::Test {
protected:
    void SetUp() override { SetProjection(kWidth, kHeight); }
    void TearDown() override {
        ShutdownFrameRender();
        ConfigureFrameRender(DefaultFrameRenderSettings());
    }

    // The objects at rest, then turned 100 times; each frame drawn by RenderObject for each
    // object and by RenderFrame with the caller alone and with two threads taking pieces
    // small enough to cross objects.
    static void ExpectSameFramesOverATurn(MeshObject* objects, int32_t count,
                                          const Matrix4& camera) {
        struct Setting {
            const char* name;
            FrameRenderSettings settings;
            size_t lit;
        };
        Setting settings[] = {
            {"the caller alone", {1, 4096, 2048, 0}, 0},
            {"two threads, small pieces", {2, 97, 61, 0}, 0},
        };
        PrepareFrameRender(objects, count);
        for (int32_t i = 0; i < count; ++i)
            objects[i].matrix = Identity();
        for (int tick = 0; tick <= 100; ++tick) {
            if (tick > 0) {
                for (int32_t i = 0; i < count; ++i)
                    MatrixRotateY(objects[i].matrix, kSpin);
            }
            const Frame expected = EachObjectFrame(objects, count, camera);
            for (Setting& s : settings) {
                ConfigureFrameRender(s.settings);
                Frame frame(size_t{kWidth} * kHeight, 0);
                RenderFrame(objects, count, OwnMatrices(objects), camera, frame.data());
                ASSERT_TRUE(frame == expected) << s.name << ", tick " << tick;
                s.lit += LitPixels(frame);
            }
        }
        for (const Setting& s : settings)
            EXPECT_GT(s.lit, 100u * 100u) << s.name;
    }
};

TEST_F(FrameRender, BundledSceneOverATurn) {
    const std::string path = std::string(TRELLIS_SOURCE_DIR) + "/assets/svet.3ds";
    Scene* scene = LoadScene(path.c_str());
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ExpectSameFramesOverATurn(scene->objects, scene->objectCount, ViewCamera());
    FreeScene(scene);
}

TEST_F(FrameRender, DenseSphereOverATurn) {
    BuiltScene scene;
    AddSphere(scene);
    scene.Attach(true);
    ExpectSameFramesOverATurn(scene.objects.data(), 1, ViewCamera());
}

TEST_F(FrameRender, NearPlaneFacesOverATurn) {
    BuiltScene scene;
    AddNearPlaneMeshes(scene);
    scene.Attach(false);
    ExpectSameFramesOverATurn(scene.objects.data(), static_cast<int32_t>(scene.objects.size()),
                              Identity());
}

TEST_F(FrameRender, OtherMatricesAndUnpreparedObjects) {
    BuiltScene near, sphere;
    AddNearPlaneMeshes(near);
    near.Attach(false);
    AddSphere(sphere);
    sphere.Attach(true);
    ConfigureFrameRender({2, 97, 61, 0});
    PrepareFrameRender(near.objects.data(), static_cast<int32_t>(near.objects.size()));

    // One matrix for every object with an identity camera, and one matrix per object.
    Matrix4 turned = Identity();
    MatrixRotateY(turned, 0.5f);
    MatrixTranslate(turned, 0.0f, 0.0f, 0.05f);
    std::vector<Matrix4> each(near.objects.size());
    for (size_t i = 0; i < each.size(); ++i) {
        each[i] = Identity();
        MatrixRotateY(each[i], static_cast<float>(i) * 0.7f);
    }
    struct Case {
        const char* name;
        ObjectMatrices matrices;
        Matrix4 camera;
    };
    const Case cases[] = {
        {"one matrix for all", SameMatrix(turned), Identity()},
        {"a matrix per object", MatrixPerObject(each.data()), Identity()},
    };
    const int32_t count = static_cast<int32_t>(near.objects.size());
    for (const Case& c : cases) {
        Frame expected(size_t{kWidth} * kHeight, 0);
        for (int32_t i = 0; i < count; ++i) {
            const Matrix4& m =
                c.matrices.stride == 0 ? *c.matrices.first : each[static_cast<size_t>(i)];
            RenderObject(m, c.camera, near.objects[static_cast<size_t>(i)], expected.data());
        }
        Frame frame(size_t{kWidth} * kHeight, 0);
        RenderFrame(near.objects.data(), count, c.matrices, c.camera, frame.data());
        EXPECT_TRUE(frame == expected) << c.name;
        EXPECT_GT(LitPixels(frame), 0u) << c.name;
    }

    // More vertices, then more objects, than prepared for: the plain path, the same frame.
    struct Unprepared {
        const char* name;
        BuiltScene* prepared;
        BuiltScene* drawn;
        Matrix4 camera;
    };
    const Unprepared unprepared[] = {{"more vertices", &near, &sphere, ViewCamera()},
                                     {"more objects", &sphere, &near, Identity()}};
    for (const Unprepared& u : unprepared) {
        PrepareFrameRender(u.prepared->objects.data(),
                           static_cast<int32_t>(u.prepared->objects.size()));
        MeshObject* objects = u.drawn->objects.data();
        const int32_t n = static_cast<int32_t>(u.drawn->objects.size());
        const Frame expected = EachObjectFrame(objects, n, u.camera);
        Frame frame(size_t{kWidth} * kHeight, 0);
        RenderFrame(objects, n, OwnMatrices(objects), u.camera, frame.data());
        EXPECT_TRUE(frame == expected) << u.name;
        EXPECT_GT(LitPixels(frame), 0u) << u.name;
    }
}

// A stop asked for (a signal, or the poll of the window's input) leaves the frame at once;
// once cleared, frames are whole again.
TEST_F(FrameRender, AStopLeavesTheFrameAtOnceAndAClearedOneDrawsItWhole) {
    BuiltScene scene;
    AddSphere(scene);
    scene.Attach(true);
    MeshObject* objects = scene.objects.data();
    const Matrix4 camera = ViewCamera();
    const Frame expected = EachObjectFrame(objects, 1, camera);
    ASSERT_GT(LitPixels(expected), 1000u);

    // The poll, run by the caller on its first piece, says stop: nothing is drawn.
    ConfigureFrameRender({1, 4096, 2048, 0});
    PrepareFrameRender(objects, 1);
    Frame frame(size_t{kWidth} * kHeight, 0);
    static int polls = 0;
    SetFrameStopPoll([] {
        ++polls;
        return true;
    });
    RenderFrame(objects, 1, OwnMatrices(objects), camera, frame.data());
    SetFrameStopPoll(nullptr);
    EXPECT_EQ(polls, 1);
    EXPECT_TRUE(FrameStopRequested());
    EXPECT_EQ(LitPixels(frame), 0u);

    // The flag (a signal) stops every frame before any thread takes a piece, with one thread
    // or several.
    for (const FrameRenderSettings settings :
         {FrameRenderSettings{1, 4096, 2048, 0}, FrameRenderSettings{2, 97, 61, 0}}) {
        ConfigureFrameRender(settings);
        PrepareFrameRender(objects, 1);
        RequestFrameStop();
        std::fill(frame.begin(), frame.end(), 0u);
        RenderFrame(objects, 1, OwnMatrices(objects), camera, frame.data());
        EXPECT_EQ(LitPixels(frame), 0u);
        ClearFrameStop();
        RenderFrame(objects, 1, OwnMatrices(objects), camera, frame.data());
        EXPECT_TRUE(frame == expected);
    }
}

}  // namespace
