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

#include "view_camera.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr float kSpin = 0.06283185f;  // the viewer's turn per tick
using Frame = std::vector<uint32_t>;

// Meshes built in code: vertices and faces by index.
struct BuiltScene {
    std::vector<std::vector<Vertex>> vertices;
    std::vector<std::vector<Face>> faces;
    std::vector<MeshObject> objects;

    void Add(std::vector<Vertex> v, const std::vector<std::array<int, 3>>& corners) {
        vertices.push_back(std::move(v));
        std::vector<Face> f;
        for (const auto& c : corners) {
            Vertex* base = vertices.back().data();
            f.push_back(Face{-1, 0, base + c[0], base + c[1], base + c[2], {}});
        }
        faces.push_back(std::move(f));
    }

    // Call once every mesh is added (the vectors no longer move).
    void Attach(bool planes) {
        objects.assign(vertices.size(), MeshObject{});
        for (size_t i = 0; i < objects.size(); ++i) {
            objects[i].vertexCount = static_cast<int32_t>(vertices[i].size());
            objects[i].vertices = vertices[i].data();
            objects[i].faceCount = static_cast<int32_t>(faces[i].size());
            objects[i].faces = faces[i].data();
            objects[i].matrix = Identity();
            if (planes) ComputeFacePlanes(objects[i]);
        }
    }
};

// A latitude-longitude sphere of radius 85, 96 slices by 49 stacks: 9,215 faces.
void AddSphere(BuiltScene& scene) {
    constexpr int slices = 96, stacks = 49;
    const double pi = 3.141592653589793;
    std::vector<Vertex> v;
    for (int i = 0; i <= stacks; ++i) {
        const double theta = pi * i / stacks;
        for (int j = 0; j <= slices; ++j) {
            const double phi = 2.0 * pi * j / slices;
            v.push_back(Vertex{static_cast<float>(85.0 * std::sin(theta) * std::cos(phi)),
                               static_cast<float>(85.0 * std::cos(theta)),
                               static_cast<float>(85.0 * std::sin(theta) * std::sin(phi)), 0, 0, 0,
                               0, 0});
        }
    }
    std::vector<std::array<int, 3>> corners;
    const auto at = [](int i, int j) { return i * (slices + 1) + j; };
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            if (i != stacks - 1) corners.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            if (i != 0) corners.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    corners.pop_back();
    scene.Add(std::move(v), corners);
}

// Seen through an identity camera (view space is the turned object space): vertices a
// little off the turning axis, so that turning carries them through depth 0.1 and behind
// the camera, at heights up to far off-axis and beyond the float range on screen, some at
// depths just either side of 0.1 before the first turn, one NaN; and a mesh of faces with
// corners on and about the frame's edges. The planes stay zero, so every face is drawn.
void AddNearPlaneMeshes(BuiltScene& scene) {
    std::mt19937 random(15);
    const auto pick = [&random](std::initializer_list<float> values) {
        std::uniform_int_distribution<size_t> index(0, values.size() - 1);
        return values.begin()[index(random)];
    };
    std::uniform_real_distribution<float> offAxis(-0.3f, 0.3f);
    for (int mesh = 0; mesh < 2; ++mesh) {
        std::vector<Vertex> v;
        for (int i = 0; i < 400; ++i) {
            const float z = pick({0.1000001f, 0.099999994f, 0.1f, 0.0f, -2.0f, 0.35f, 6.0f});
            const float y = pick({0.0f, 1.5f, -40.0f, 3000.0f, -2e6f, 1e30f, -3e38f});
            v.push_back(Vertex{offAxis(random), y, z, 0, 0, 0, 0, 0});
        }
        v.push_back(Vertex{4000.0f, -3000.0f, 0.1000001f, 0, 0, 0, 0, 0});
        v.push_back(Vertex{std::numeric_limits<float>::quiet_NaN(), 1.0f, 5.0f, 0, 0, 0, 0, 0});
        std::uniform_int_distribution<int> corner(0, static_cast<int>(v.size()) - 1);
        std::vector<std::array<int, 3>> faces;
        for (int f = 0; f < 350; ++f)
            faces.push_back({corner(random), corner(random), corner(random)});
        scene.Add(std::move(v), faces);
        scene.Add({Vertex{0, 0, 1, 0, 0, 0, 0, 0}}, {});
    }

    // Corners about each edge of the frame before the first turn: at depth 320 a vertex at x
    // lands on column x + 320 and one at y on row y + 240. For each edge one group of 64
    // vertices (one vertex block) a pixel or more beyond it and one from just beyond it to
    // the first pixel inside; the faces of a group use only its own corners.
    const float groups[2][8] = {{-4.0f, -3.0f, -2.5f, -2.0f, -1.5f, -1.25f, -1.1f, -1.0f},
                                {-1.0f, -0.75f, -0.5f, 0.0f, 0.25f, 0.5f, 0.99f, 1.0f}};
    const float along[8] = {50.0f, 51.0f, 52.5f, 60.0f, 100.0f, 200.0f, 300.0f, 301.0f};
    std::vector<Vertex> v;
    std::vector<std::array<int, 3>> faces;
    std::uniform_int_distribution<int> inGroup(0, 63);
    for (int edge = 0; edge < 4; ++edge) {
        for (const auto& across : groups) {
            const int first = static_cast<int>(v.size());
            for (const float a : across) {
                for (const float b : along) {
                    const float size = edge < 2 ? 640.0f : 480.0f;
                    const float at = edge % 2 == 0 ? a : size - a;  // near 0 or near the size
                    const float column = edge < 2 ? at : b;
                    const float row = edge < 2 ? b : at;
                    v.push_back(Vertex{column - 320.0f, row - 240.0f, 320.0f, 0, 0, 0, 0, 0});
                }
            }
            for (int f = 0; f < 64; ++f) {
                faces.push_back(
                    {first + inGroup(random), first + inGroup(random), first + inGroup(random)});
            }
        }
    }
    scene.Add(std::move(v), faces);
}

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
