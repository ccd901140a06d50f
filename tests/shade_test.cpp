// Shading from the file: corner normals from smoothing groups on a cube, shade points, a
// material's colour under one light worked out by hand, wire and transparent materials, the
// background, and the render modes' names.
#include "render/shade.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/frame_render.h"
#include "render/wireframe.h"
#include "scene/derived.h"

#include "load_fixture.h"
#include "view_camera.h"

namespace {

// The unit cube [0, 1]^3 as twelve faces, two per side, every plane pointing out of it. The
// diagonals are chosen so that corner 0 (the origin) touches one face of each of its three
// sides, and corner 6 (1, 1, 1) two faces of the side x = 1 and one of each other side.
struct Cube {
    std::array<Vertex, 8> vertices;
    std::array<Face, 12> faces;
    MeshObject mesh{};

    explicit Cube(const std::array<uint32_t, 12>& smoothing) {
        const float corners[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
        for (int i = 0; i < 8; ++i)
            vertices[i] = Vertex{corners[i][0], corners[i][1], corners[i][2], 0, 0, 0, 0, 0};
        const int sides[6][4] = {{3, 0, 1, 2}, {1, 0, 4, 5}, {4, 0, 3, 7},
                                 {1, 5, 6, 2}, {2, 6, 7, 3}, {5, 4, 7, 6}};
        for (int s = 0; s < 6; ++s) {
            const int* q = sides[s];
            const int triangles[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
            for (int t = 0; t < 2; ++t) {
                Face& f = faces[2 * s + t];
                f = Face{};
                f.material = -1;
                f.smoothing = smoothing[2 * s + t];
                f.vertex0 = &vertices[triangles[t][0]];
                f.vertex1 = &vertices[triangles[t][1]];
                f.vertex2 = &vertices[triangles[t][2]];
            }
        }
        mesh.vertexCount = 8;
        mesh.vertices = vertices.data();
        mesh.faceCount = 12;
        mesh.faces = faces.data();
        ComputeFacePlanes(mesh);
    }

    // The corner of face f at vertex v (0, 1 or 2), or -1.
    int CornerAt(int f, int v) const {
        const Vertex* c[3] = {faces[f].vertex0, faces[f].vertex1, faces[f].vertex2};
        for (int k = 0; k < 3; ++k)
            if (c[k] == &vertices[v]) return k;
        return -1;
    }
};

std::array<float, 3> Unit(float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    return {x / length, y / length, z / length};
}

void ExpectNormal(const std::vector<float>& normals, int face, int corner,
                  std::array<float, 3> expected, const char* what) {
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(normals[9 * face + 3 * corner + k], expected[k], 1e-6f)
            << what << ": face " << face << " corner " << corner;
}

TEST(SmoothingGroups, FlatCubeHasTheFacePlanes) {
    Cube cube({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    std::vector<float> normals;
    ComputeCornerNormals(cube.mesh, nullptr, 0, normals);
    ASSERT_EQ(normals.size(), 12u * 3u * 3u);
    for (int f = 0; f < 12; ++f) {
        for (int k = 0; k < 3; ++k)
            ExpectNormal(normals, f, k,
                         {cube.faces[f].plane[0], cube.faces[f].plane[1], cube.faces[f].plane[2]},
                         "flat");
    }
    MeshShading shading;
    BuildMeshShading(cube.mesh, nullptr, 0, shading);
    EXPECT_EQ(shading.points.size(), 12u);  // one per flat face
}

TEST(SmoothingGroups, OneGroupGivesOneNormalPerCorner) {
    Cube cube({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    std::vector<float> normals;
    ComputeCornerNormals(cube.mesh, nullptr, 0, normals);
    // Every corner at vertex 0 has the sum of one face of each side; at vertex 6 two faces
    // of the side x = 1 count.
    for (int f = 0; f < 12; ++f) {
        const int at0 = cube.CornerAt(f, 0), at6 = cube.CornerAt(f, 6);
        if (at0 >= 0) ExpectNormal(normals, f, at0, Unit(-1, -1, -1), "vertex 0");
        if (at6 >= 0) ExpectNormal(normals, f, at6, Unit(2, 1, 1), "vertex 6");
    }
    MeshShading shading;
    BuildMeshShading(cube.mesh, nullptr, 0, shading);
    EXPECT_EQ(shading.points.size(), 8u);  // one per vertex
    for (int f = 0; f < 12; ++f) {
        const Vertex* corners[3] = {cube.faces[f].vertex0, cube.faces[f].vertex1,
                                    cube.faces[f].vertex2};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(shading.points[shading.cornerPoint[3 * f + k]].vertex,
                      static_cast<uint32_t>(corners[k] - cube.vertices.data()));
        }
    }
}

TEST(SmoothingGroups, FacesShareANormalOnlyThroughACommonBit) {
    // At vertex 6: face 6 (side x = 1) has groups 1 and 2, face 7 (x = 1) and face 8
    // (y = 1) group 1, face 11 (z = 1) group 2; the other faces group 1, the top's group 2.
    Cube cube({1, 1, 1, 1, 1, 1, 3, 1, 1, 1, 2, 2});
    std::vector<float> normals;
    ComputeCornerNormals(cube.mesh, nullptr, 0, normals);
    const struct {
        int face;
        std::array<float, 3> normal;
    } expected[] = {
        {6, Unit(2, 1, 1)},   // shares a bit with all four faces at the vertex
        {7, Unit(2, 1, 0)},   // with faces 6, 7 and 8
        {8, Unit(2, 1, 0)},   // the same
        {11, Unit(1, 0, 1)},  // with faces 6 and 11
    };
    for (const auto& e : expected) {
        const int corner = cube.CornerAt(e.face, 6);
        ASSERT_GE(corner, 0) << e.face;
        ExpectNormal(normals, e.face, corner, e.normal, "mixed groups");
    }
}

TEST(SmoothingGroups, ShadePointsSplitByMaterialAndFlatShading) {
    // One group everywhere, but the top side in its own material: the top's four vertices
    // get a point for each material. A material asking for flat shading makes its faces flat.
    Cube cube({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    Material materials[2] = {};
    materials[0].shading = 3;
    materials[1].shading = 1;  // flat
    cube.faces[10].material = cube.faces[11].material = 0;
    MeshShading shading;
    BuildMeshShading(cube.mesh, materials, 2, shading);
    EXPECT_EQ(shading.points.size(), 12u);
    cube.faces[10].material = cube.faces[11].material = 1;
    BuildMeshShading(cube.mesh, materials, 2, shading);
    EXPECT_EQ(shading.points.size(), 8u + 2u);  // the top's two faces are flat points
    EXPECT_TRUE(shading.points[shading.cornerPoint[3 * 10]].flat);
}

// A scene of one square facing the camera (which looks along +z from the origin) at depth
// 10, in material "M", with `chunks` writing the rest of the editor chunks (lights,
// ambient, background). File axes: engine (x, y, z) is file (x, z, y).
template <class Chunks, class MaterialChunks>
ScenePtr SquareScene(MaterialChunks&& material, Chunks&& chunks) {
    return LoadEditor([&](ChunkWriter& w) {
        WriteMaterial(w, "M", [&] { material(w); });
        WriteNamedMesh(w, "Square", [&] {
            WriteVertexList(w, {-4, 10, -3, 4, 10, -3, 4, 10, 3, -4, 10, 3});
            w.Chunk(chunk::FaceList, [&] {
                w.U16(2).U16s({0, 1, 2, 0, 0, 2, 3, 0});
                w.Chunk(chunk::FaceMaterials, [&] { w.Name("M").U16(2).U16s({0, 1}); });
            });
        });
        chunks(w);
    });
}

void ColourChunk(ChunkWriter& w, uint16_t id, float r, float g, float b) {
    w.Chunk(id, [&] { w.Chunk(chunk::ColorFloat, [&] { w.Floats({r, g, b}); }); });
}

void PercentChunk(ChunkWriter& w, uint16_t id, uint16_t percent) {
    w.Chunk(id, [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(percent); }); });
}

// The frame of the scene in `mode`, 64 x 48 through the identity camera.
std::vector<uint32_t> RenderSquare(const Scene& scene, RenderMode mode) {
    SetProjection(64, 48);
    PrepareSceneRender(scene, mode);
    std::vector<RenderInstance> instances;
    for (int32_t i = 0; i < scene.objectCount; ++i) {
        RenderInstance instance{i, {}};
        MatrixIdentity(instance.matrix);
        instances.push_back(instance);
    }
    RenderView view = DefaultRenderView();
    view.mode = mode;
    std::vector<uint32_t> frame(64 * 48, 0);
    RenderScene(scene, instances.data(), static_cast<int32_t>(instances.size()), view,
                frame.data());
    ShutdownFrameRender();
    return frame;
}

constexpr size_t kCentre = 24 * 64 + 32;

TEST(Material, ColourUnderOneLightWorkedOutByHand) {
    // Ambient Ka = (0.2, 0.4, 0.6) in ambient light Ia = 0.5; diffuse Kd = (0.4, 0.2, 0.1)
    // and specular Ks = 1 with strength 0.1 under one omni light of colour Il = (1, 0.5,
    // 0.25) straight behind the camera, far off: N . L = 1 and N . H = 1 at the square.
    //   C = Ka Ia + Kd Il + Ks 0.1 Il
    //   red   0.2 * 0.5 + 0.4 * 1    + 0.1 * 1    = 0.6  -> 153
    //   green 0.4 * 0.5 + 0.2 * 0.5  + 0.1 * 0.5  = 0.35 -> 89.25 -> 89
    //   blue  0.6 * 0.5 + 0.1 * 0.25 + 0.1 * 0.25 = 0.35 -> 89
    ScenePtr scene = SquareScene(
        [](ChunkWriter& w) {
            ColourChunk(w, chunk::MaterialAmbient, 0.2f, 0.4f, 0.6f);
            ColourChunk(w, chunk::MaterialDiffuse, 0.4f, 0.2f, 0.1f);
            ColourChunk(w, chunk::MaterialSpecular, 1.0f, 1.0f, 1.0f);
            PercentChunk(w, chunk::MaterialShininess, 50);
            PercentChunk(w, chunk::MaterialShininessStrength, 10);
        },
        [](ChunkWriter& w) {
            w.Chunk(chunk::Ambient, [&] {
                w.Chunk(chunk::ColorFloat, [&] { w.Floats({0.5f, 0.5f, 0.5f}); });
            });
            WriteNamedLight(w, "Light", {0, -100000, 0}, [&] {
                w.Chunk(chunk::ColorFloat, [&] { w.Floats({1.0f, 0.5f, 0.25f}); });
            });
        });
    ASSERT_NE(scene, nullptr);
    const std::vector<uint32_t> wire = RenderSquare(*scene, RenderMode::Wireframe);
    size_t lines = 0;
    for (uint32_t p : wire)
        lines += p != 0 ? 1 : 0;
    ASSERT_GT(lines, 0u) << "the wireframe draws the square: it faces the camera";
    const std::vector<uint32_t> frame = RenderSquare(*scene, RenderMode::Shaded);
    EXPECT_EQ(frame[kCentre], 0x995959u);  // 153, 89, 89
    EXPECT_EQ(frame[0], kShadedBackground);
}

TEST(Material, BackOfOneSidedAndTwoSidedMaterials) {
    // The square seen from behind (the light behind the camera): lit as if turned round, at
    // kBackShade unless the material is two-sided. Kd = 0.5, light 1: front 0.5 -> 128.
    for (const bool twoSided : {false, true}) {
        ScenePtr scene = LoadEditor([&](ChunkWriter& w) {
            WriteMaterial(w, "M", [&] {
                ColourChunk(w, chunk::MaterialAmbient, 0, 0, 0);
                ColourChunk(w, chunk::MaterialDiffuse, 0.5f, 0.5f, 0.5f);
                if (twoSided) w.Empty(chunk::MaterialTwoSided);
            });
            WriteNamedMesh(w, "Square", [&] {
                WriteVertexList(w, {-4, 10, -3, 4, 10, -3, 4, 10, 3, -4, 10, 3});
                w.Chunk(chunk::FaceList, [&] {  // the other winding: its back faces us
                    w.U16(2).U16s({0, 2, 1, 0, 0, 3, 2, 0});
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name("M").U16(2).U16s({0, 1}); });
                });
            });
            WriteNamedLight(w, "Light", {0, -100000, 0}, [] {});
        });
        ASSERT_NE(scene, nullptr);
        const std::vector<uint32_t> frame = RenderSquare(*scene, RenderMode::Shaded);
        const uint32_t expected = twoSided ? 0x808080u : 0x4D4D4Du;  // 127.5, 76.5 rounded up
        EXPECT_EQ(frame[kCentre], expected) << (twoSided ? "two-sided" : "one-sided");
    }
}

TEST(Material, WireAndTransparentMaterials) {
    // A wire material draws the square's edges, not its inside; 50 % transparency mixes the
    // lit colour half and half with the background.
    ScenePtr wire = SquareScene(
        [](ChunkWriter& w) {
            ColourChunk(w, chunk::MaterialDiffuse, 1, 1, 1);
            w.Empty(chunk::MaterialWire);
        },
        [](ChunkWriter&) {});
    ASSERT_NE(wire, nullptr);
    std::vector<uint32_t> frame = RenderSquare(*wire, RenderMode::Shaded);
    EXPECT_EQ(frame[kCentre - 5 * 64], kShadedBackground);
    size_t edges = 0;
    for (uint32_t p : frame)
        edges += p != kShadedBackground ? 1 : 0;
    EXPECT_GT(edges, 40u);
    EXPECT_LT(edges, 400u);

    ScenePtr glass = SquareScene(
        [](ChunkWriter& w) {
            ColourChunk(w, chunk::MaterialAmbient, 0, 0, 0);
            ColourChunk(w, chunk::MaterialDiffuse, 0, 0, 0);
            PercentChunk(w, chunk::MaterialSelfIllumination, 100);
            PercentChunk(w, chunk::MaterialTransparency, 50);
        },
        [](ChunkWriter& w) {
            w.Chunk(chunk::Background, [&] {
                w.Chunk(chunk::ColorFloat, [&] { w.Floats({1, 1, 1}); });
            });
            w.Empty(chunk::UseBackground);
        });
    ASSERT_NE(glass, nullptr);
    frame = RenderSquare(*glass, RenderMode::Shaded);
    EXPECT_EQ(frame[0], 0xFFFFFFu);        // the file's background
    EXPECT_EQ(frame[kCentre], 0x7F7F7Fu);  // black over white, half each
}

TEST(Background, ByModeAndFile) {
    ScenePtr with = LoadEditor([](ChunkWriter& w) {
        w.Chunk(chunk::Background, [&] {
            w.Chunk(chunk::ColorFloat, [&] { w.Floats({0.2f, 0.4f, 0.6f}); });
        });
        w.Empty(chunk::UseBackground);
    });
    ScenePtr unused = LoadEditor([](ChunkWriter& w) {
        w.Chunk(chunk::Background, [&] {
            w.Chunk(chunk::ColorFloat, [&] { w.Floats({0.2f, 0.4f, 0.6f}); });
        });
    });
    ASSERT_NE(with, nullptr);
    ASSERT_NE(unused, nullptr);
    EXPECT_EQ(SceneBackground(*with, RenderMode::Shaded), 0x336699u);
    EXPECT_EQ(SceneBackground(*with, RenderMode::Edges), 0x336699u);
    EXPECT_EQ(SceneBackground(*with, RenderMode::Wireframe), 0u);
    EXPECT_EQ(SceneBackground(*with, RenderMode::HiddenLine), 0u);
    EXPECT_EQ(SceneBackground(*unused, RenderMode::Shaded), kShadedBackground);
}

TEST(RenderModes, NamesRoundTripAndCycle) {
    RenderMode mode = RenderMode::Wireframe;
    for (int i = 0; i < kRenderModeCount; ++i) {
        RenderMode parsed = RenderMode::Shaded;
        EXPECT_TRUE(ParseRenderMode(RenderModeName(mode), parsed));
        EXPECT_EQ(parsed, mode);
        mode = NextRenderMode(mode);
    }
    EXPECT_EQ(mode, RenderMode::Wireframe);
    RenderMode untouched = RenderMode::Edges;
    EXPECT_FALSE(ParseRenderMode("solid", untouched));
    EXPECT_FALSE(ParseRenderMode(nullptr, untouched));
    EXPECT_EQ(untouched, RenderMode::Edges);
}

TEST(Lights, DeterministicCosine) {
    // Against the library's cosine to a few ulps, and exact at the points that matter.
    for (double a = -7.0; a <= 7.0; a += 0.013)
        EXPECT_NEAR(StableCos(a), std::cos(a), 1e-15) << a;
    EXPECT_EQ(StableCos(0.0), 1.0);
}

}  // namespace
