// The renderer: projection scale and corner projection, the facing test, the pixels of
// single lines in a 640 x 480 frame, and faces with corners behind the camera.
#include "render/wireframe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "render/line_stepper.h"
#include "scene/derived.h"

#include "view_camera.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using Pixel = std::pair<int32_t, int32_t>;  // column, row

struct Frame {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t{kWidth} * kHeight, 0);

    // The set pixels; every one must hold the line colour.
    std::set<Pixel> SetPixels() const {
        std::set<Pixel> result;
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] == 0) continue;
            EXPECT_EQ(pixels[i], kLineColour) << "index " << i;
            result.insert({static_cast<int32_t>(i % kWidth), static_cast<int32_t>(i / kWidth)});
        }
        return result;
    }
};

std::set<Pixel> Row(int32_t row, int32_t firstColumn, int32_t lastColumn) {
    std::set<Pixel> result;
    for (int32_t c = firstColumn; c <= lastColumn; ++c)
        result.insert({c, row});
    return result;
}

// 0.1 in double precision split into three floats whose exact sum it is, so that a sum of
// three float products can land on it exactly.
struct Split {
    float hi, mid, lo;
};

Split SplitDouble(double value) {
    const float hi = static_cast<float>(value);
    const float mid = static_cast<float>(value - static_cast<double>(hi));
    const float lo = static_cast<float>(value - static_cast<double>(hi) - static_cast<double>(mid));
    return {hi, mid, lo};
}

double SumOf(Split s) {
    return static_cast<double>(s.hi) + static_cast<double>(s.mid) + static_cast<double>(s.lo);
}

class Wireframe : public ::testing::Test {
protected:
    void SetUp() override { SetProjection(kWidth, kHeight); }
};

// --- Projection -----------------------------------------------------------------------

TEST_F(Wireframe, ProjectionScaleFollowsTheFrameWidth) {
    // A corner at view (1, 0, 1) lands at focalScale + width / 2.
    struct Case {
        int32_t width, height;
        float expectedX;
    };
    const Case cases[] = {
        {640, 480, 640.0f},  // scale exactly 320
        {800, 600, 800.0f},  // 400 + 400
        {641, 480, 640.5f},  // 320.5 + 320 (integer half)
        {-640, 480, 0.0f},   // the scale is taken as an absolute value: 320 - 320
    };
    const Matrix4 view = Identity();
    for (const Case& c : cases) {
        SetProjection(c.width, c.height);
        ScreenPoint slot{};
        ASSERT_TRUE(ProjectCorner(view, Vertex{1, 0, 1, 0, 0, 0, 0, 0}, slot)) << c.width;
        EXPECT_EQ(slot.x, c.expectedX) << c.width;
        EXPECT_EQ(slot.y, static_cast<float>(c.height / 2)) << c.width;
    }
}

TEST_F(Wireframe, ProjectsCornersInFrontOfTheNearLimitOnly) {
    const Split tenth = SplitDouble(0.1);
    ASSERT_EQ(SumOf(tenth), 0.1);
    const Split aboveTenth = SplitDouble(std::nextafter(0.1, 1.0));
    ASSERT_EQ(SumOf(aboveTenth), std::nextafter(0.1, 1.0));

    // View depth of the corner (1, 1, 1) is V[2] + V[6] + V[10] + V[14]; x and y are 1.
    struct Case {
        const char* name;
        float v2, v6, v10, v14;
        bool projected;
        float x, y;
    };
    const Case cases[] = {
        {"depth 5", 0, 0, 1, 4, true, 320 + 64.0f, 240 + 64.0f},
        {"depth 320", 0, 0, 1, 319, true, 321.0f, 241.0f},
        {"depth exactly 0.1", tenth.hi, tenth.mid, tenth.lo, 0, false, 0, 0},
        {"depth just above 0.1", aboveTenth.hi, aboveTenth.mid, aboveTenth.lo, 0, true, 0, 0},
        {"depth 0", 0, 0, 1, -1, false, 0, 0},
        {"behind", 0, 0, 1, -10, false, 0, 0},
        {"depth NaN", 0, 0, 1, kNaN, false, 0, 0},
    };
    for (const Case& c : cases) {
        Matrix4 view = Identity();
        view[2] = c.v2;
        view[6] = c.v6;
        view[10] = c.v10;
        view[14] = c.v14;
        ScreenPoint slot{-7.0f, -7.0f};
        EXPECT_EQ(ProjectCorner(view, Vertex{1, 1, 1, 0, 0, 0, 0, 0}, slot), c.projected) << c.name;
        if (!c.projected) {
            EXPECT_EQ(slot.x, -7.0f) << c.name << ": an unprojected slot is left alone";
        } else if (c.x != 0) {
            EXPECT_EQ(slot.x, c.x) << c.name;
            EXPECT_EQ(slot.y, c.y) << c.name;
        }
    }
}

TEST_F(Wireframe, ViewingCameraCentresTheOrigin) {
    // Object space to view space for an unturned object, as RenderObject forms it.
    Matrix4 view;
    MatrixInverse(ViewCamera(), view);
    MatrixMultiply(view, Identity(), view);
    Matrix4 viewToObject;
    MatrixInverse(view, viewToObject);
    EXPECT_NEAR(viewToObject[12], 0.0f, 1e-4f);
    EXPECT_NEAR(viewToObject[13], 75.0f, 1e-4f);
    EXPECT_NEAR(viewToObject[14], -129.90381f, 1e-4f);

    struct Case {
        float x, y, z;
        float screenX, screenY;
    };
    const Case cases[] = {
        {0, 0, 0, 320.0f, 240.0f},
        {10, 0, 0, 298.67f, 240.0f},
        {0, 10, 0, 320.0f, 220.89f},
    };
    for (const Case& c : cases) {
        ScreenPoint slot{};
        ASSERT_TRUE(ProjectCorner(view, Vertex{c.x, c.y, c.z, 0, 0, 0, 0, 0}, slot));
        EXPECT_NEAR(slot.x, c.screenX, 0.01f) << c.x << " " << c.y << " " << c.z;
        EXPECT_NEAR(slot.y, c.screenY, 0.01f) << c.x << " " << c.y << " " << c.z;
    }
}

TEST_F(Wireframe, CornersFarBeyondTheFloatRangeBecomeInfinite) {
    // xv beyond the float range rounds to infinity; a huge xv over a depth just past the
    // near limit overflows the slot to infinity too; neither is undefined behaviour.
    Matrix4 view = Identity();
    view[0] = 3e38f;
    ScreenPoint slot{};
    ASSERT_TRUE(ProjectCorner(view, Vertex{10, 0, 1, 0, 0, 0, 0, 0}, slot));
    EXPECT_EQ(slot.x, kInf);
    ASSERT_TRUE(ProjectCorner(view, Vertex{-1, 0, 1, 0, 0, 0, 0, 0}, slot));
    EXPECT_EQ(slot.x, -kInf);
    EXPECT_EQ(slot.y, 240.0f);
}

// --- Conversion of screen coordinates -------------------------------------------------

TEST(ScreenToInt, TruncatesTowardZeroAndClampsOutsideTheRange) {
    struct Case {
        float value;
        int32_t expected;
    };
    const Case cases[] = {
        {639.99f, 639},
        {0.9f, 0},
        {-0.9f, 0},
        {-2.5f, -2},
        {2147483520.0f, 2147483520},  // the largest float below 2^31 still fits
        {2147483648.0f, INT32_MAX},   // 2^31 does not
        {-2147483648.0f, INT32_MIN},  // -2^31 is exactly INT32_MIN
        {-2147483904.0f, INT32_MIN},
        {1e30f, INT32_MAX},
        {-1e30f, INT32_MIN},
        {kInf, INT32_MAX},
        {-kInf, INT32_MIN},
        {kNaN, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScreenToInt(c.value), c.expected) << c.value;
}

// --- Lines ----------------------------------------------------------------------------

TEST_F(Wireframe, LinesSetExactlyTheirWalkedPointsInsideTheFrame) {
    struct Case {
        const char* name;
        ScreenPoint start, end;
        std::set<Pixel> expected;
    };
    std::set<Pixel> diagonal;
    for (int32_t k = 0; k < 380; ++k)
        diagonal.insert({100 + k, 100 + k});
    const Case cases[] = {
        {"start drawn, end not", {10, 10}, {13, 10}, {{10, 10}, {11, 10}, {12, 10}}},
        {"shallow slope", {5, 5}, {8, 7}, {{5, 5}, {6, 5}, {7, 6}}},
        {"walks backwards", {2, 5}, {0, 4}, {{2, 5}, {1, 4}}},
        {"column 0 on the longer axis is rejected", {0, 5}, {3, 5}, {{1, 5}, {2, 5}}},
        {"row 0 on the longer axis is rejected", {5, 0}, {7, 3}, {{5, 1}, {6, 2}}},
        {"column 0 from the shorter axis", {0, 10}, {1, 14}, {{0, 11}, {0, 12}, {0, 13}}},
        {"ends truncate to the same point", {3.2f, 4.9f}, {3.9f, 4.1f}, {}},
        {"far edge is rejected", {638.7f, 478.9f}, {641, 480}, {{638, 478}, {639, 478}}},
        {"last column and row", {639, 479}, {639, 477}, {{639, 479}, {639, 478}}},
        {"truncation toward zero", {5, -0.9f}, {9, 1}, {{6, 0}, {7, 0}, {8, 0}}},
        {"wholly outside", {-50, -50}, {-10, 300}, {}},
        {"wholly below", {10, 480}, {600, 900}, {}},
        {"infinite end clamps", {100, 240}, {kInf, 240}, Row(240, 100, 639)},
        {"negative infinite end clamps", {500, 240}, {-kInf, 240}, Row(240, 1, 500)},
        {"far diagonal clamps both", {100, 100}, {1e30f, 1e30f}, diagonal},
        {"NaN end draws nothing", {100, 100}, {kNaN, 200}, {}},
        {"NaN start draws nothing", {100, kNaN}, {200, 200}, {}},
    };
    for (const Case& c : cases) {
        Frame frame;
        DrawLine(c.start, c.end, frame.pixels.data());
        EXPECT_EQ(frame.SetPixels(), c.expected) << c.name;
    }
}

// --- Faces ----------------------------------------------------------------------------

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    MeshObject object{};

    // One face per triple of vertex indices.
    Mesh(std::vector<Vertex> v, const std::vector<std::array<int, 3>>& corners)
        : vertices(std::move(v)) {
        for (const auto& t : corners) {
            faces.push_back(Face{-1, 0, &vertices[t[0]], &vertices[t[1]], &vertices[t[2]], {}});
        }
        object.vertexCount = static_cast<int32_t>(vertices.size());
        object.vertices = vertices.data();
        object.faceCount = static_cast<int32_t>(faces.size());
        object.faces = faces.data();
    }
};

Vertex At(float x, float y, float z) {
    return Vertex{x, y, z, 0, 0, 0, 0, 0};
}

TEST_F(Wireframe, FacingTestDrawsUpToTheThresholdInclusive) {
    // The camera stands at E = (hi, mid, lo); with the plane (1, 1, 1, d) the facing value
    // is s = hi + mid + lo + d, formed exactly in double.
    const Split tenth = SplitDouble(0.1);
    ASSERT_EQ(SumOf(tenth), 0.1);
    const Split aboveTenth = SplitDouble(std::nextafter(0.1, 1.0));
    ASSERT_EQ(SumOf(aboveTenth), std::nextafter(0.1, 1.0));
    struct Case {
        const char* name;
        Split camera;
        std::array<float, 4> plane;
        bool drawn;
    };
    const Case cases[] = {
        {"s exactly 0.1", tenth, {1, 1, 1, 0}, true},
        {"s just above 0.1", aboveTenth, {1, 1, 1, 0}, false},
        {"s negative", tenth, {1, 1, 1, -5}, true},
        {"s well above", tenth, {1, 1, 1, 5}, false},
        {"zero plane of a degenerate face", tenth, {0, 0, 0, 0}, true},
        {"NaN plane", tenth, {kNaN, 0, 0, 0}, true},
    };
    for (const Case& c : cases) {
        Mesh mesh({At(-1, -1, 10), At(1, -1, 10), At(0, 1, 10)}, {{0, 1, 2}});
        for (int k = 0; k < 4; ++k)
            mesh.faces[0].plane[k] = c.plane[k];
        Matrix4 camera = Identity();
        camera[12] = c.camera.hi;
        camera[13] = c.camera.mid;
        camera[14] = c.camera.lo;
        Frame frame;
        RenderObject(Identity(), camera, mesh.object, frame.pixels.data());
        EXPECT_EQ(!frame.SetPixels().empty(), c.drawn) << c.name;
    }
}

TEST_F(Wireframe, ViewingCameraDrawsOnlyFacesTurnedTowardIt) {
    // A triangle in the ground plane, seen from above by the viewing camera. With the
    // corners in the order origin, +x, +z the plane normal points up, towards the camera,
    // and the face is turned away; the opposite order is drawn.
    const std::vector<Vertex> corners = {At(0, 0, 0), At(20, 0, 0), At(0, 0, 20)};
    struct Case {
        std::array<int, 3> order;
        bool drawn;
    };
    const Case cases[] = {{{0, 1, 2}, false}, {{0, 2, 1}, true}};
    for (const Case& c : cases) {
        Mesh mesh(corners, {c.order});
        ComputeFacePlanes(mesh.object);
        Frame frame;
        RenderObject(Identity(), ViewCamera(), mesh.object, frame.pixels.data());
        const std::set<Pixel> set = frame.SetPixels();
        EXPECT_EQ(!set.empty(), c.drawn) << c.order[1];
        if (c.drawn) {
            // The edge from the origin to (20, 0, 0) runs left from the centre along row 240.
            EXPECT_TRUE(set.count({300, 239}) == 1 || set.count({300, 240}) == 1);
        }
    }
}

TEST_F(Wireframe, FaceWithCornersBehindTheCameraDrawsOnlyEdgesBetweenProjectedCorners) {
    // Identity camera and object: view space is object space. The two corners in front
    // land on (320, 240) and (480, 240); the edge between them is row 240 from column 320
    // to 479. A corner at depth 0.1 or less contributes no edge at all (the float 0.1f is a
    // hair above the double 0.1 and would be projected).
    struct Case {
        const char* name;
        std::vector<Vertex> corners;
        std::set<Pixel> expected;
    };
    const std::set<Pixel> edge = Row(240, 320, 479);
    const Case cases[] = {
        {"third corner behind", {At(0, 0, 10), At(5, 0, 10), At(0, 3, -5)}, edge},
        {"third corner in the camera plane", {At(0, 0, 10), At(5, 0, 10), At(0, 3, 0)}, edge},
        {"third corner just inside the near limit",
         {At(0, 0, 10), At(5, 0, 10), At(0, 3, 0.099999994f)},
         edge},
        {"first corner behind", {At(0, 3, -5), At(5, 0, 10), At(0, 0, 10)}, edge},
        {"two corners behind", {At(0, 0, 10), At(5, 0, -10), At(0, 3, -5)}, {}},
        {"all corners behind", {At(0, 0, -1), At(5, 0, -10), At(0, 3, -5)}, {}},
    };
    for (const Case& c : cases) {
        Mesh mesh(c.corners, {{0, 1, 2}});  // zero plane: the facing test draws it
        Frame frame;
        RenderObject(Identity(), Identity(), mesh.object, frame.pixels.data());
        EXPECT_EQ(frame.SetPixels(), c.expected) << c.name;
    }
}

}  // namespace
