// Which axis is up, and where a file's camera looks: a scene written y-up is shown as the
// same scene turned upright, and a camera target that is not finite or absurdly far is
// ignored for the camera chunk's own.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "load_fixture.h"
#include "view/views.h"

namespace {

// A box (file axes) as one mesh: its 8 corners and one face.
std::vector<uint8_t> BoxFile(float x0, float y0, float z0, float x1, float y1, float z1) {
    return EditorFile([&](ChunkWriter& w) {
        std::vector<float> xyz;
        for (int i = 0; i < 8; ++i) {
            xyz.push_back(i & 1 ? x1 : x0);
            xyz.push_back(i & 2 ? y1 : y0);
            xyz.push_back(i & 4 ? z1 : z0);
        }
        WriteNamedMesh(w, "Box", [&] {
            w.Chunk(chunk::VertexList, [&] {
                w.U16(8);
                for (float v : xyz)
                    w.F32(v);
            });
            WriteFaceList(w, {0, 1, 2});
        });
    });
}

// A point of the file (x, y, z) in engine axes, as the loader stores it.
void EngineOf(const float file[3], double out[3]) {
    out[0] = static_cast<double>(file[0]);
    out[1] = static_cast<double>(file[2]);
    out[2] = static_cast<double>(file[1]);
}

TEST(UpAxis, AFileWrittenYUpIsShownAsTheSameSceneTurnedUpright) {
    // A pole 100 long along the file's y, and the same pole along its z written as a z-up
    // exporter would, turned by the quarter turn (x, y, z) -> (x, -z, y).
    ScenePtr lying = LoadBytes(BoxFile(-5, -50, -10, 5, 50, 10));
    ScenePtr upright = LoadBytes(BoxFile(-5, -10, -50, 5, 10, 50));
    ASSERT_NE(lying, nullptr);
    ASSERT_NE(upright, nullptr);
    ViewState yUp;
    yUp.up = UpAxis::FileY;
    StartView(yUp, *lying, ViewMode::Fit, -1, 640, 480);
    EXPECT_EQ(yUp.up, UpAxis::FileY);  // kept by StartView
    ViewState zUp;
    StartView(zUp, *upright, ViewMode::Fit, -1, 640, 480);
    EXPECT_EQ(yUp.pose.distance, zUp.pose.distance);
    EXPECT_EQ(yUp.pose.panY, zUp.pose.panY);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(yUp.pose.centre[i], zUp.pose.centre[i]) << i;
    // Every corner lands where its upright twin does.
    for (int tick = 0; tick < 3; ++tick) {
        ViewTransform a, b;
        BuildViewTransform(yUp, a);
        BuildViewTransform(zUp, b);
        for (int corner = 0; corner < 8; ++corner) {
            const float fileLying[3] = {corner & 1 ? 5.0f : -5.0f, corner & 2 ? 50.0f : -50.0f,
                                        corner & 4 ? 10.0f : -10.0f};
            const float fileUpright[3] = {fileLying[0], -fileLying[2], fileLying[1]};
            double p[3], q[3];
            EngineOf(fileLying, p);
            EngineOf(fileUpright, q);
            for (int j = 0; j < 3; ++j) {
                const double va =
                    p[0] * a.m[j] + p[1] * a.m[4 + j] + p[2] * a.m[8 + j] + a.m[12 + j];
                const double vb =
                    q[0] * b.m[j] + q[1] * b.m[4 + j] + q[2] * b.m[8 + j] + b.m[12 + j];
                EXPECT_NEAR(va, vb, 1e-9 * (1.0 + std::fabs(vb))) << corner << " " << j;
            }
        }
        AdvanceView(yUp);
        AdvanceView(zUp);
    }
    // Switching the axis frames the scene again; switching back gives the first view.
    ViewState view;
    StartView(view, *lying, ViewMode::Fit, -1, 640, 480);
    const ViewPose first = view.pose;
    SetViewUpAxis(view, *lying, UpAxis::FileY);
    EXPECT_EQ(view.pose.distance, yUp.pose.distance);
    SetViewUpAxis(view, *lying, UpAxis::FileZ);
    EXPECT_EQ(view.pose.distance, first.distance);
    EXPECT_EQ(view.pose.centre[1], first.centre[1]);
    // A fixed view becomes its orbit about the origin first.
    StartView(view, *lying, ViewMode::Fixed, -1, 640, 480);
    SetViewUpAxis(view, *lying, UpAxis::FileY);
    EXPECT_EQ(view.mode, ViewMode::Fit);
    EXPECT_EQ(view.pose.distance, 150.0);
}

TEST(UpAxis, SceneToWorldIsAQuarterTurnAboutX) {
    double v[3] = {1, 2, 3};
    SceneToWorld(UpAxis::FileZ, v);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 3);
    SceneToWorld(UpAxis::FileY, v);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 3);
    EXPECT_EQ(v[2], -2);
}

// A camera record with a target track of one key (engine axes, as keys are stored).
struct CameraWithKeys {
    Camera camera = {};
    float frame = 0.0f;
    float positionKey[3] = {0, 0, 0};
    float targetKey[3] = {0, 0, 0};

    CameraWithKeys(std::vector<float> chunk, std::vector<float> target) {
        for (int i = 0; i < 3; ++i) {
            camera.position[i] = chunk[static_cast<size_t>(i)];
            camera.target[i] = chunk[static_cast<size_t>(3 + i)];
        }
        camera.lens = 35.0f;
        if (!target.empty()) {
            for (int i = 0; i < 3; ++i)
                targetKey[i] = target[static_cast<size_t>(i)];
            camera.targetKeyCount = 1;
            camera.targetKeyFrames = &frame;
            camera.targetKeyX = &targetKey[0];
            camera.targetKeyY = &targetKey[1];
            camera.targetKeyZ = &targetKey[2];
        }
    }
};

TEST(CameraAim, ATargetNotFiniteOrAbsurdlyFarIsIgnoredForTheChunksOwn) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A scene 10 across about the origin (engine axes).
    SceneBounds bounds;
    bounds.min[0] = bounds.min[1] = bounds.min[2] = -5.0;
    bounds.max[0] = bounds.max[1] = bounds.max[2] = 5.0;
    bounds.finiteCount = 8;
    struct Case {
        const char* name;
        std::vector<float> chunk;   // position, then target, file axes
        std::vector<float> target;  // the target track's first key, engine axes; {}: none
        bool hasTarget, fromKeys, keyIgnored, chunkIgnored;
    };
    const std::vector<Case> cases = {
        {"a usable track", {0, -50, 0, 0, 0, 0}, {1, 2, 3}, true, true, false, false},
        {"no track", {0, -50, 0, 0, 0, 0}, {}, true, false, false, false},
        {"the track 1e17 away", {0, -50, 0, 0, 0, 0}, {0, 1e17f, 0}, true, false, true, false},
        {"the track not finite", {0, -50, 0, 0, 0, 0}, {nan, 0, 0}, true, false, true, false},
        {"the track infinite", {0, -50, 0, 0, 0, 0}, {0, 0, -inf}, true, false, true, false},
        {"both absurd", {0, -50, 0, 0, 3e9f, 0}, {0, 1e17f, 0}, false, false, true, true},
        {"the chunk's not finite", {0, -50, 0, nan, 0, 0}, {}, false, false, false, true},
        // Far, but not beyond a million times the reach: a long look is allowed.
        {"far but sane", {0, -50, 0, 0, 0, 0}, {0, 4e7f, 0}, true, true, false, false},
        // A camera far from a small scene may look at things as far again.
        {"camera far away", {0, -1e8f, 0, 0, 0, 0}, {0, 0, 5e13f}, true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CameraWithKeys camera(c.chunk, c.target);
        const CameraAim aim = AimCamera(camera.camera, bounds);
        EXPECT_EQ(aim.hasTarget, c.hasTarget);
        EXPECT_EQ(aim.targetFromKeys, c.fromKeys);
        EXPECT_EQ(aim.keyTargetIgnored, c.keyIgnored);
        EXPECT_EQ(aim.chunkTargetIgnored, c.chunkIgnored);
        if (c.hasTarget && !c.fromKeys) {
            // The camera chunk's target, in engine axes.
            EXPECT_EQ(aim.target[0], static_cast<double>(c.chunk[3]));
            EXPECT_EQ(aim.target[1], static_cast<double>(c.chunk[5]));
            EXPECT_EQ(aim.target[2], static_cast<double>(c.chunk[4]));
        }
    }
}

// Through a camera whose target track is 1e17 away the view looks at its chunk's target: the
// scene is in the frame (not a tilt of 90 degrees at nothing).
TEST(CameraAim, TheCameraViewLooksAtTheChunksTargetWhenTheTrackIsAbsurd) {
    ScenePtr scene = LoadBytes(BoxFile(-5, -5, -5, 5, 5, 5));
    ASSERT_NE(scene, nullptr);
    CameraWithKeys broken({0, -50, 0, 0, 0, 0}, {0, 1e17f, 0});
    CameraWithKeys sane({0, -50, 0, 0, 0, 0}, {});
    Camera* const loaded = scene->cameras;
    const int32_t loadedCount = scene->cameraCount;
    scene->cameras = &broken.camera;
    scene->cameraCount = 1;
    ViewState a;
    StartView(a, *scene, ViewMode::Camera, 0, 640, 480);
    scene->cameras = &sane.camera;
    ViewState b;
    StartView(b, *scene, ViewMode::Camera, 0, 640, 480);
    scene->cameras = loaded;
    scene->cameraCount = loadedCount;
    EXPECT_EQ(a.pose.yaw, b.pose.yaw);
    EXPECT_EQ(a.pose.tilt, b.pose.tilt);
    EXPECT_NEAR(a.pose.tilt, 0.0, 1e-12);
}

}  // namespace
