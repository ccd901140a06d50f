// The fit and camera views, drawn through the renderer as the viewer draws them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "load_fixture.h"
#include "render/wireframe.h"
#include "view/views.h"

namespace {

// File-order positions and corner triples of one mesh.
struct MeshData {
    std::vector<float> xyz;
    std::vector<uint16_t> corners;
};

// A box from (x0, y0, z0) to (x1, y1, z1), file axes, faces turned outwards.
MeshData Box(float x0, float y0, float z0, float x1, float y1, float z1) {
    MeshData m;
    for (int i = 0; i < 8; ++i) {
        m.xyz.push_back(i & 1 ? x1 : x0);
        m.xyz.push_back(i & 2 ? y1 : y0);
        m.xyz.push_back(i & 4 ? z1 : z0);
    }
    m.corners = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                 2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    return m;
}

// A box around (cx, cy, cz) with sides sx, sy, sz.
MeshData BoxAt(double cx, double cy, double cz, double sx, double sy, double sz) {
    return Box(static_cast<float>(cx - sx / 2), static_cast<float>(cy - sy / 2),
               static_cast<float>(cz - sz / 2), static_cast<float>(cx + sx / 2),
               static_cast<float>(cy + sy / 2), static_cast<float>(cz + sz / 2));
}

// A sphere of `rings` x `segments` quads around (cx, cy, cz), file axes.
MeshData Sphere(double cx, double cy, double cz, double r, int rings, int segments) {
    MeshData m;
    for (int i = 0; i <= rings; ++i) {
        const double phi = M_PI * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double theta = 2 * M_PI * j / segments;
            m.xyz.push_back(static_cast<float>(cx + r * std::sin(phi) * std::cos(theta)));
            m.xyz.push_back(static_cast<float>(cy + r * std::sin(phi) * std::sin(theta)));
            m.xyz.push_back(static_cast<float>(cz + r * std::cos(phi)));
        }
    }
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            const auto at = [&](int a, int b) {
                return static_cast<uint16_t>(a * segments + (b % segments));
            };
            m.corners.insert(m.corners.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            m.corners.insert(m.corners.end(), {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    return m;
}

void WriteMesh(ChunkWriter& w, const std::string& name, const MeshData& m) {
    WriteNamedMesh(w, name, [&] {
        w.Chunk(chunk::VertexList, [&] {
            w.U16(static_cast<uint16_t>(m.xyz.size() / 3));
            for (float v : m.xyz)
                w.F32(v);
        });
        w.Chunk(chunk::FaceList, [&] {
            w.U16(static_cast<uint16_t>(m.corners.size() / 3));
            for (size_t i = 0; i < m.corners.size(); ++i) {
                w.U16(m.corners[i]);
                if (i % 3 == 2) w.U16(0);
            }
        });
    });
}

ScenePtr LoadMeshes(const std::vector<MeshData>& meshes) {
    return LoadBytes(EditorFile([&](ChunkWriter& w) {
        for (size_t i = 0; i < meshes.size(); ++i)
            WriteMesh(w, "Mesh" + std::to_string(i), meshes[i]);
    }));
}

// The lit pixels of one frame: their box, or empty.
struct LitBox {
    int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = -1, maxY = -1;
    bool Empty() const { return maxX < 0; }
};

// Draws one tick of the view as the viewer's shell does and returns the lit box.
LitBox DrawTick(ViewState& view, const Scene& scene, std::vector<uint32_t>& frame) {
    frame.assign(static_cast<size_t>(view.frameWidth) * static_cast<size_t>(view.frameHeight), 0);
    AdvanceView(view);
    ViewTransform transform;
    BuildViewTransform(view, transform);
    Matrix4 objectMatrix, identity;
    ViewObjectMatrix(transform, nullptr, objectMatrix);
    MatrixIdentity(identity);
    SetProjectionFieldOfView(view.frameWidth, view.frameHeight, view.pose.fieldOfView);
    for (int32_t i = 0; i < scene.objectCount; ++i)
        RenderObject(objectMatrix, identity, scene.objects[i], frame.data());
    LitBox box;
    for (int32_t y = 0; y < view.frameHeight; ++y) {
        for (int32_t x = 0; x < view.frameWidth; ++x) {
            if (frame[static_cast<size_t>(y) * static_cast<size_t>(view.frameWidth) +
                      static_cast<size_t>(x)] == 0) {
                continue;
            }
            box.minX = std::min(box.minX, x);
            box.maxX = std::max(box.maxX, x);
            box.minY = std::min(box.minY, y);
            box.maxY = std::max(box.maxY, y);
        }
    }
    return box;
}

struct FitCase {
    const char* name;
    std::vector<MeshData> meshes;
    bool fills;  // false: nothing of area to fill the frame with (one point)
};

std::vector<MeshData> WithNonFiniteCorners() {
    MeshData m = BoxAt(5, -3, 2, 10, 6, 4);
    // Four more vertices, each with a NaN or infinite coordinate, on faces of their own.
    const float inf = INFINITY, nan = NAN;
    m.xyz.insert(m.xyz.end(), {nan, 0, 0, 0, inf, 0, 0, 0, -inf, 1e38f * 10.0f, 1, 1});
    m.corners.insert(m.corners.end(), {0, 8, 9, 1, 10, 11, 2, 8, 11});
    return {m};
}

TEST(FitView, EveryTickOfTheTurnInsideTheFrameAndFilled) {
    const std::vector<FitCase> cases = {
        {"unit box at the origin", {BoxAt(0, 0, 0, 1, 1, 1)}, true},
        {"tiny", {BoxAt(0.00003, -0.00002, 0.00001, 1e-4, 0.6e-4, 0.8e-4)}, true},
        {"huge", {BoxAt(0, 0, 0, 1e7, 0.7e7, 0.5e7)}, true},
        {"far from the origin", {BoxAt(1e6, -1e6, 1e6, 120, 40, 80)}, true},
        {"millimetres far away", {BoxAt(-2.5e5, 3.1e5, 1200, 4.2, 2.5, 1.5)}, true},
        {"flat plate", {BoxAt(10, 20, 0, 1000, 600, 1)}, true},
        {"tall pole", {BoxAt(0, 0, 500, 2, 3, 1000)}, true},
        {"sphere", {Sphere(3, 4, 5, 50, 12, 16)}, true},
        {"two apart", {BoxAt(-300, 0, 0, 20, 20, 20), BoxAt(300, 40, 100, 10, 10, 60)}, true},
        {"one point", {MeshData{{7, 8, 9}, {0, 0, 0}}}, false},
        {"all vertices equal", {MeshData{{1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 2}}}, false},
        {"non-finite corners", WithNonFiniteCorners(), true},
    };
    // Width, height, and every how many ticks the frame is drawn: small frames on every tick,
    // the viewer's own size on every tenth (to keep the test quick under the sanitizers). The
    // smallest frame keeps two pixels clear and is too small to ask for the fill.
    const int32_t sizes[][3] = {{160, 120, 1}, {60, 180, 1}, {16, 16, 1}, {640, 480, 10}};
    std::vector<uint32_t> frame;
    for (const FitCase& c : cases) {
        ScenePtr scene = LoadMeshes(c.meshes);
        ASSERT_NE(scene, nullptr) << c.name;
        for (const auto& size : sizes) {
            ViewState view;
            StartView(view, *scene, ViewMode::Fit, -1, size[0], size[1]);
            ASSERT_EQ(view.mode, ViewMode::Fit) << c.name;
            const int32_t marginX = std::max(1, size[0] / 100);
            const int32_t marginY = std::max(1, size[1] / 100);
            double widest = 0.0;
            for (int tick = 0; tick < 100; ++tick) {
                if (tick % size[2] != 0) {
                    AdvanceView(view);
                    continue;
                }
                const LitBox box = DrawTick(view, *scene, frame);
                if (box.Empty()) continue;
                const std::string where = std::string(c.name) + ", " + std::to_string(size[0]) +
                                          "x" + std::to_string(size[1]) + ", tick " +
                                          std::to_string(tick);
                EXPECT_GE(box.minX, marginX) << where;
                EXPECT_GE(box.minY, marginY) << where;
                EXPECT_LT(box.maxX, size[0] - marginX) << where;
                EXPECT_LT(box.maxY, size[1] - marginY) << where;
                widest = std::max({widest, (box.maxX - box.minX + 1) / double(size[0]),
                                   (box.maxY - box.minY + 1) / double(size[1])});
            }
            if (c.fills && size[0] >= 64) {
                EXPECT_GE(widest, 0.8) << c.name << ", " << size[0] << "x" << size[1];
            }
        }
    }
}

TEST(FitView, NoFinitePositionKeepsTheFixedView) {
    const float nan = NAN;
    ScenePtr scene = LoadMeshes({MeshData{{nan, 0, 0, 0, nan, 0, 0, 0, nan}, {0, 1, 2}}});
    ASSERT_NE(scene, nullptr);
    ViewState view;
    StartView(view, *scene, ViewMode::Fit, -1, 640, 480);
    EXPECT_EQ(view.mode, ViewMode::Fixed);
    EXPECT_EQ(view.bounds.finiteCount, 0);
    EXPECT_EQ(view.bounds.nonFiniteCount, 3);
}

// A camera chunk (file axes) inside a named object.
void WriteCamera(ChunkWriter& w, const char* name, std::initializer_list<float> values) {
    w.Chunk(chunk::NamedObject, [&] {
        w.Name(name);
        w.Chunk(chunk::Camera, [&] { w.Floats(values); });
    });
}

// A cube of side 10 centred on the origin seen by a camera `distance` in front of it along
// the file's -y axis: its near face spans side * focal / (distance - side / 2) pixels, with
// focal = width / (2 tan(fov / 2)) = width * lens / 36.
TEST(CameraView, PinholeWidthAndBank) {
    const float lens = 50.0f, distance = 60.0f;
    const double lensD = static_cast<double>(lens), distanceD = static_cast<double>(distance);
    ScenePtr scene = LoadBytes(EditorFile([&](ChunkWriter& w) {
        WriteMesh(w, "Cube", BoxAt(0, 0, 0, 10, 10, 10));
        WriteMesh(w, "Bar", BoxAt(0, 0, 7, 10, 10, 1));  // above the cube: shows which way is up
        WriteCamera(w, "Front", {0, -distance, 0, 0, 0, 0, 0, lens});
        WriteCamera(w, "Banked", {0, -distance, 0, 0, 0, 0, 90, lens});
    }));
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->cameraCount, 2);
    EXPECT_EQ(FindCameraIndex(*scene, "Banked"), 1);
    EXPECT_EQ(FindCameraIndex(*scene, "Nobody"), -1);
    std::vector<uint32_t> frame;

    ViewState view;
    StartView(view, *scene, ViewMode::Camera, 0, 640, 480);
    ASSERT_EQ(view.mode, ViewMode::Camera);
    const LitBox front = DrawTick(view, *scene, frame);
    const double focal = 640.0 * lensD / 36.0;
    const double expected = 10.0 * focal / (distanceD - 5.0);
    EXPECT_NEAR(front.maxX - front.minX, expected, 1.0);
    // Centred across; the bar is above the cube, so more lies above the centre than below.
    EXPECT_NEAR((front.minX + front.maxX) / 2.0, 320.0, 1.0);
    EXPECT_LT(240 - front.minY, (240 - front.minY) + (front.maxY - 240));
    EXPECT_GT(240 - front.minY, front.maxY - 240);
    // The scene stands still in a camera's view.
    EXPECT_EQ(DrawTick(view, *scene, frame).minX, front.minX);

    StartView(view, *scene, ViewMode::Camera, 1, 640, 480);
    const LitBox banked = DrawTick(view, *scene, frame);
    // Turned a quarter: the extent across is now the extent up and down, and the bar is at
    // one side.
    EXPECT_NEAR(banked.maxY - banked.minY, front.maxX - front.minX, 1.0);
    EXPECT_NEAR(banked.maxX - banked.minX, front.maxY - front.minY, 1.0);
    EXPECT_NEAR((banked.minY + banked.maxY) / 2.0, 240.0, 1.0);
}

// The file's axes are stored with y and z exchanged, a reflection: drawn as they are, every
// scene would show mirrored. Seen from the front (from -y, z up), the file's +x lies to the
// right in a camera's view and in the fit view, as it did for the file's author.
TEST(CameraView, TheFilesRightIsOnTheRight) {
    ScenePtr scene = LoadBytes(EditorFile([&](ChunkWriter& w) {
        WriteMesh(w, "Cube", BoxAt(0, 0, 0, 10, 10, 10));
        WriteMesh(w, "Marker", BoxAt(20, 0, 0, 2, 2, 2));  // on the file's +x side
        WriteCamera(w, "Front", {0, -80, 0, 0, 0, 0, 0, 35});
    }));
    ASSERT_NE(scene, nullptr);
    std::vector<uint32_t> frame;
    ViewState view;
    StartView(view, *scene, ViewMode::Camera, 0, 640, 480);
    const LitBox lit = DrawTick(view, *scene, frame);
    EXPECT_GT(lit.maxX - 320, 320 - lit.minX);  // the marker widens the right side

    StartView(view, *scene, ViewMode::Fit, -1, 640, 480);
    EXPECT_FALSE(view.mirrored);
    ViewTransform t;
    BuildViewTransform(view, t);
    EXPECT_GT(t.m[0], 0.0);  // at the start of the turn, +x goes to the screen's right
}

// Cameras a real exporter writes, and worse: every one gives a finite, defined view.
TEST(CameraView, DegenerateCamerasGiveADefinedView) {
    const float nan = NAN, inf = INFINITY;
    const std::vector<std::vector<float>> cameras = {
        {5, 5, 5, 5, 5, 5, 0, 35},                   // target at the position
        {0, -50, 0, 0, 1e17f, 0, 0, 35},             // target 1e17 away
        {0, -50, 0, 0, 0, 0, 0, 0},                  // lens 0
        {0, -50, 0, 0, 0, 0, 0, -20},                // negative lens
        {0, -50, 0, 0, 0, 0, 0, nan},                // NaN lens
        {0, -50, 0, 0, 0, 0, 1e30f, 35},             // bank 1e30
        {nan, 0, 0, 0, 0, 0, nan, 35},               // NaN position and bank
        {0, 0, 50, 0, 0, 0, 0, 35},                  // straight above
        {inf, 0, 0, 0, 0, 0, 0, 35},                 // infinite position
        {1e30f, 1e30f, 0, -1e30f, 0, 0, 0, 1e-30f},  // far and a tiny lens
    };
    std::vector<uint32_t> frame;
    for (size_t i = 0; i < cameras.size(); ++i) {
        ScenePtr scene = LoadBytes(EditorFile([&](ChunkWriter& w) {
            WriteMesh(w, "Cube", BoxAt(0, 0, 0, 10, 10, 10));
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Cam");
                w.Chunk(chunk::Camera, [&] {
                    for (float v : cameras[i])
                        w.F32(v);
                });
            });
        }));
        ASSERT_NE(scene, nullptr) << i;
        ViewState view;
        StartView(view, *scene, ViewMode::Camera, 0, 320, 240);
        EXPECT_EQ(view.mode, ViewMode::Camera) << i;
        EXPECT_TRUE(view.pose.fieldOfView > 0.0 && view.pose.fieldOfView < M_PI) << i;
        ViewTransform transform;
        BuildViewTransform(view, transform);
        for (double e : transform.m)
            EXPECT_TRUE(std::isfinite(e)) << i;
        DrawTick(view, *scene, frame);
    }
}

TEST(CameraView, FieldOfViewFromLens) {
    Camera camera{};
    camera.lens = 18.0f;
    EXPECT_DOUBLE_EQ(CameraFieldOfView(camera), M_PI / 2);
    camera.lens = 36.0f;
    EXPECT_DOUBLE_EQ(CameraFieldOfView(camera), 2 * std::atan(0.5));
    for (float lens : {0.0f, -5.0f, NAN, INFINITY}) {
        camera.lens = lens;
        EXPECT_DOUBLE_EQ(CameraFieldOfView(camera), kDefaultFieldOfView) << lens;
    }
}

// What input does: the tilt stays within 89 degrees, a fit again after a zoom and a pan
// gives the fitted pose back, and a reset returns to the start.
TEST(ViewInput, TurnZoomPanFitReset) {
    ScenePtr scene = LoadMeshes({BoxAt(100, 200, 300, 10, 20, 30)});
    ASSERT_NE(scene, nullptr);
    ViewState view;
    StartView(view, *scene, ViewMode::Fit, -1, 640, 480);
    const ViewPose fitted = view.pose;
    TurnView(view, 0.3, 10.0);
    EXPECT_DOUBLE_EQ(view.pose.tilt, kMaxTilt);
    TurnView(view, 0.0, -20.0);
    EXPECT_DOUBLE_EQ(view.pose.tilt, -kMaxTilt);
    ZoomView(view, 0.5);
    EXPECT_DOUBLE_EQ(view.pose.distance, fitted.distance * 0.5);
    // A pan moves the picture with the mouse: the box's centre lands 10 pixels further right
    // and 4 higher (the fit view is not mirrored, so panX itself goes the other way).
    const auto centreOnScreen = [](const ViewState& v, double& x, double& y) {
        ViewTransform t;
        BuildViewTransform(v, t);
        const double* c = v.pose.centre;
        const double vx = c[0] * t.m[0] + c[1] * t.m[4] + c[2] * t.m[8] + t.m[12];
        const double vy = c[0] * t.m[1] + c[1] * t.m[5] + c[2] * t.m[9] + t.m[13];
        const double vz = c[0] * t.m[2] + c[1] * t.m[6] + c[2] * t.m[10] + t.m[14];
        const double focal = 640.0 / (2.0 * std::tan(v.pose.fieldOfView / 2.0));
        x = vx * focal / vz + 320.0;
        y = vy * focal / vz + 240.0;
    };
    double x0, y0, x1, y1;
    centreOnScreen(view, x0, y0);
    PanView(view, 10.0, -4.0);
    centreOnScreen(view, x1, y1);
    EXPECT_NEAR(x1 - x0, 10.0, 1e-6);
    EXPECT_NEAR(y1 - y0, -4.0, 1e-6);
    EXPECT_FALSE(view.mirrored);
    ResetView(view);
    EXPECT_EQ(view.pose.tilt, fitted.tilt);
    EXPECT_EQ(view.pose.distance, fitted.distance);
    EXPECT_EQ(view.pose.panX, 0.0);
    ZoomView(view, 3.0);
    FitView(view, *scene);
    EXPECT_DOUBLE_EQ(view.pose.distance, fitted.distance);
    EXPECT_FALSE(NextCamera(view, *scene));  // no cameras: nothing changes
    EXPECT_EQ(view.mode, ViewMode::Fit);
}

}  // namespace
