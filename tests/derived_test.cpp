// Face planes, vertex normals and camera matrices.
#include "scene/derived.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "hash_collisions.h"
#include "scene/keyed_hash.h"

namespace {

Vertex At(float x, float y, float z) {
    return Vertex{x, y, z, 0, 0, 0, 0, 0};
}

Face FaceOf(Vertex* v0, Vertex* v1, Vertex* v2) {
    return Face{-1, 0, v0, v1, v2, {0, 0, 0, 0}};
}

MeshObject MeshOf(std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    MeshObject mesh{};
    mesh.vertexCount = static_cast<int32_t>(vertices.size());
    mesh.vertices = vertices.data();
    mesh.faceCount = static_cast<int32_t>(faces.size());
    mesh.faces = faces.data();
    return mesh;
}

struct PlaneCase {
    const char* name;
    Vertex p0, p1, p2;
    std::array<float, 4> plane;
};

TEST(ComputeFacePlane, TableOfFaces) {
    const float r = 1.0f / std::sqrt(2.0f);
    const PlaneCase cases[] = {
        {"xy corners", At(0, 0, 0), At(1, 0, 0), At(0, 1, 0), {0, 0, -1, 0}},
        {"xy corners exchanged", At(0, 0, 0), At(0, 1, 0), At(1, 0, 0), {0, 0, 1, 0}},
        {"offset plane", At(0, 0, 5), At(0, 1, 5), At(1, 0, 5), {0, 0, 1, -5}},
        {"slanted", At(0, 0, 0), At(0, 1, 1), At(1, 0, 0), {0, -r, r, 0}},
        {"repeated corner", At(1, 2, 3), At(1, 2, 3), At(4, 5, 6), {0, 0, 0, 0}},
        {"collinear corners", At(0, 0, 0), At(1, 1, 1), At(2, 2, 2), {0, 0, 0, 0}},
    };
    for (PlaneCase c : cases) {
        SCOPED_TRACE(c.name);
        const std::array<float, 4> plane = ComputeFacePlane(FaceOf(&c.p0, &c.p1, &c.p2));
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(plane[k], c.plane[k], 1e-6f) << k;
    }
}

TEST(ComputeFacePlane, PositiveSideIsWhereTheNormalPoints) {
    Vertex p0 = At(0, 0, 5), p1 = At(0, 1, 5), p2 = At(1, 0, 5);
    const std::array<float, 4> p = ComputeFacePlane(FaceOf(&p0, &p1, &p2));
    EXPECT_FLOAT_EQ(p[0] * 0 + p[1] * 0 + p[2] * 10 + p[3], 5.0f);
}

TEST(ComputeFacePlanes, WritesEveryFaceAndLeavesAMeshWithoutFacesAlone) {
    std::vector<Vertex> v = {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0)};
    std::vector<Face> f = {FaceOf(&v[0], &v[1], &v[2]), FaceOf(&v[0], &v[2], &v[1])};
    MeshObject mesh = MeshOf(v, f);
    ComputeFacePlanes(mesh);
    EXPECT_EQ(f[0].plane[2], -1.0f);
    EXPECT_EQ(f[1].plane[2], 1.0f);

    MeshObject empty{};
    ComputeFacePlanes(empty);  // no faces, no vertices: nothing to touch
    ComputeVertexNormals(empty);
}

TEST(ComputeVertexNormals, OneFaceGivesItsNormalToEachCorner) {
    std::vector<Vertex> v = {At(0, 0, 0), At(1, 0, 0), At(0, 1, 0)};
    std::vector<Face> f = {FaceOf(&v[0], &v[1], &v[2])};
    MeshObject mesh = MeshOf(v, f);
    ComputeFacePlanes(mesh);
    ComputeVertexNormals(mesh);
    for (const Vertex& vertex : v) {
        EXPECT_EQ(vertex.nx, 0.0f);
        EXPECT_EQ(vertex.ny, 0.0f);
        EXPECT_EQ(vertex.nz, -1.0f);
    }
}

TEST(ComputeVertexNormals, RightAngleEdgeAndTextureSeamTwins) {
    // Two faces meet at right angles along the edge (0,0,0)-(1,0,0). Vertex 4 is a
    // seam twin of vertex 0 that no face names, and vertex 5 touches no face at all.
    std::vector<Vertex> v = {At(0, 0, 0), At(1, 0, 0),     At(0, 1, 0),
                             At(0, 0, 1), At(-0.0f, 0, 0), At(9, 9, 9)};
    std::vector<Face> f = {FaceOf(&v[0], &v[1], &v[2]), FaceOf(&v[0], &v[3], &v[1])};
    MeshObject mesh = MeshOf(v, f);
    ComputeFacePlanes(mesh);
    ComputeVertexNormals(mesh);
    const float r = 1.0f / std::sqrt(2.0f);
    const struct {
        int index;
        float nx, ny, nz;
    } expected[] = {
        {0, 0, -r, -r}, {1, 0, -r, -r}, {2, 0, 0, -1}, {3, 0, -1, 0}, {4, 0, -r, -r}, {5, 0, 0, 0},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.index);
        EXPECT_NEAR(v[e.index].nx, e.nx, 1e-6f);
        EXPECT_NEAR(v[e.index].ny, e.ny, 1e-6f);
        EXPECT_NEAR(v[e.index].nz, e.nz, 1e-6f);
    }
}

// The plain vertex-by-face-by-corner loop, with the same zero-length choice.
void ReferenceNormals(MeshObject& mesh) {
    for (int32_t i = 0; i < mesh.vertexCount; ++i) {
        Vertex& v = mesh.vertices[i];
        float nx = 0.0f, ny = 0.0f, nz = 0.0f;
        for (int32_t f = 0; f < mesh.faceCount; ++f) {
            const Face& face = mesh.faces[f];
            for (const Vertex* c : {face.vertex0, face.vertex1, face.vertex2}) {
                if (c->x == v.x && c->y == v.y && c->z == v.z) {
                    nx += face.plane[0];
                    ny += face.plane[1];
                    nz += face.plane[2];
                }
            }
        }
        const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (len == 0.0f) {
            v.nx = v.ny = v.nz = 0.0f;
        } else {
            v.nx = nx / len;
            v.ny = ny / len;
            v.nz = nz / len;
        }
    }
}

bool SameBits(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

TEST(ComputeVertexNormals, MatchesThePlainLoopBitForBitOnRandomMeshes) {
    std::mt19937 rng(12345);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int trial = 0; trial < 60; ++trial) {
        const int vertexCount = 1 + static_cast<int>(rng() % 300);
        const int faceCount = static_cast<int>(rng() % 400);
        // Few distinct coordinates, so positions repeat often; some -0.0 and NaN.
        std::uniform_int_distribution<int> coord(-3, 3);
        std::vector<Vertex> v(static_cast<size_t>(vertexCount));
        for (Vertex& vertex : v) {
            float c[3];
            for (float& x : c) {
                const int pick = static_cast<int>(rng() % 20);
                x = pick == 0 ? -0.0f : pick == 1 ? nan : static_cast<float>(coord(rng)) * 0.75f;
            }
            vertex = At(c[0], c[1], c[2]);
        }
        // Duplicate some vertices exactly, as texture seams do.
        for (int i = 0; i < vertexCount / 4; ++i)
            v[rng() % v.size()] = v[rng() % v.size()];
        std::vector<Face> f(static_cast<size_t>(faceCount));
        for (Face& face : f) {
            face = FaceOf(&v[rng() % v.size()], &v[rng() % v.size()], &v[rng() % v.size()]);
        }
        MeshObject mesh = MeshOf(v, f);
        ComputeFacePlanes(mesh);
        std::vector<Vertex> expected = v;
        std::vector<Face> expectedFaces = f;
        for (Face& face : expectedFaces) {
            face.vertex0 = expected.data() + (face.vertex0 - v.data());
            face.vertex1 = expected.data() + (face.vertex1 - v.data());
            face.vertex2 = expected.data() + (face.vertex2 - v.data());
        }
        MeshObject reference = MeshOf(expected, expectedFaces);
        ReferenceNormals(reference);
        ComputeVertexNormals(mesh);
        for (size_t i = 0; i < v.size(); ++i) {
            ASSERT_TRUE(SameBits(v[i].nx, expected[i].nx) && SameBits(v[i].ny, expected[i].ny) &&
                        SameBits(v[i].nz, expected[i].nz))
                << "trial " << trial << " vertex " << i << ": " << v[i].nx << " " << v[i].ny << " "
                << v[i].nz << " vs " << expected[i].nx << " " << expected[i].ny << " "
                << expected[i].nz;
        }
    }
}

// Positions crafted so that all share one value of the cheap fixed hash: the grouping
// notices the crowded table and groups them again with the keyed hash. The normals are
// still those of the plain loop, bit for bit, under any key.
TEST(ComputeVertexNormals, PositionsCrowdingTheFixedHashGiveThePlainLoopsNormalsUnderAnyKey) {
    const std::vector<std::array<float, 3>> crowd = hash_collisions::PositionsOfOneFixedHash(1500);
    std::mt19937 rng(99);
    // Every position stored twice, in shuffled order, and a few vertices with a NaN.
    std::vector<Vertex> v;
    for (const auto& p : crowd) {
        v.push_back(At(p[0], p[1], p[2]));
        v.push_back(At(p[0], p[1], p[2]));
    }
    std::shuffle(v.begin(), v.end(), rng);
    v[7].y = std::numeric_limits<float>::quiet_NaN();
    std::vector<Face> f(2000);
    for (Face& face : f)
        face = FaceOf(&v[rng() % v.size()], &v[rng() % v.size()], &v[rng() % v.size()]);
    MeshObject mesh = MeshOf(v, f);
    ComputeFacePlanes(mesh);
    std::vector<Vertex> expected = v;
    std::vector<Face> expectedFaces = f;
    for (Face& face : expectedFaces) {
        face.vertex0 = expected.data() + (face.vertex0 - v.data());
        face.vertex1 = expected.data() + (face.vertex1 - v.data());
        face.vertex2 = expected.data() + (face.vertex2 - v.data());
    }
    MeshObject reference = MeshOf(expected, expectedFaces);
    ReferenceNormals(reference);

    const HashKey processKey = ProcessHashKey();
    for (const HashKey key : {processKey, HashKey{0, 0}, HashKey{~0ull, 12345}}) {
        SetProcessHashKey(key);
        for (Vertex& vertex : v)
            vertex.nx = vertex.ny = vertex.nz = -1.0f;
        ComputeVertexNormals(mesh);
        for (size_t i = 0; i < v.size(); ++i) {
            ASSERT_TRUE(SameBits(v[i].nx, expected[i].nx) && SameBits(v[i].ny, expected[i].ny) &&
                        SameBits(v[i].nz, expected[i].nz))
                << "key " << key.k0 << " vertex " << i;
        }
    }
    SetProcessHashKey(processKey);
}

// Equal bits, or NaN on both sides: which NaN an operation passes on when both of its
// operands are NaN is the compiler's choice of operand order, in scalar code too.
bool SameBitsOrBothNaN(float a, float b) {
    return SameBits(a, b) || (std::isnan(a) && std::isnan(b));
}

// A random mesh whose positions repeat, with -0.0, NaN, infinities, huge values (whose
// products overflow) and degenerate faces; face counts that are not multiples of four.
struct RandomMesh {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
};

RandomMesh MakeRandomMesh(std::mt19937& rng) {
    const float special[] = {-0.0f,
                             0.0f,
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             3e38f,
                             1e-40f};
    RandomMesh mesh;
    mesh.vertices.resize(1 + rng() % 200);
    for (Vertex& vertex : mesh.vertices) {
        float c[3];
        for (float& x : c) {
            const size_t pick = rng() % 40;
            x = pick < 7 ? special[pick]
                         : static_cast<float>(static_cast<int>(rng() % 9) - 4) * 0.5f;
        }
        vertex = At(c[0], c[1], c[2]);
    }
    mesh.faces.resize(rng() % 300);
    for (Face& face : mesh.faces) {
        Vertex* a = &mesh.vertices[rng() % mesh.vertices.size()];
        Vertex* b = rng() % 10 == 0 ? a : &mesh.vertices[rng() % mesh.vertices.size()];
        face = FaceOf(a, b, &mesh.vertices[rng() % mesh.vertices.size()]);
    }
    return mesh;
}

TEST(ComputeFacePlanes, MatchesOneFaceAtATimeOnRandomMeshes) {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 200; ++trial) {
        RandomMesh random = MakeRandomMesh(rng);
        MeshObject mesh = MeshOf(random.vertices, random.faces);
        ComputeFacePlanes(mesh);
        for (size_t i = 0; i < random.faces.size(); ++i) {
            const std::array<float, 4> expected = ComputeFacePlane(random.faces[i]);
            for (int k = 0; k < 4; ++k) {
                ASSERT_TRUE(SameBitsOrBothNaN(random.faces[i].plane[k], expected[k]))
                    << "trial " << trial << " face " << i << " lane " << k << ": "
                    << random.faces[i].plane[k] << " vs " << expected[k];
            }
        }
    }
}

TEST(ComputePlanesAndNormals, MatchesPlanesThenNormalsOnRandomMeshes) {
    std::mt19937 rng(77);
    for (int trial = 0; trial < 200; ++trial) {
        RandomMesh fused = MakeRandomMesh(rng);
        RandomMesh apart = fused;
        for (Face& face : apart.faces) {
            face.vertex0 = apart.vertices.data() + (face.vertex0 - fused.vertices.data());
            face.vertex1 = apart.vertices.data() + (face.vertex1 - fused.vertices.data());
            face.vertex2 = apart.vertices.data() + (face.vertex2 - fused.vertices.data());
        }
        MeshObject fusedMesh = MeshOf(fused.vertices, fused.faces);
        MeshObject apartMesh = MeshOf(apart.vertices, apart.faces);
        ComputePlanesAndNormals(fusedMesh);
        ComputeFacePlanes(apartMesh);
        ComputeVertexNormals(apartMesh);
        for (size_t i = 0; i < fused.faces.size(); ++i) {
            for (int k = 0; k < 4; ++k) {
                ASSERT_TRUE(SameBitsOrBothNaN(fused.faces[i].plane[k], apart.faces[i].plane[k]))
                    << "trial " << trial << " face " << i << " lane " << k;
            }
        }
        for (size_t i = 0; i < fused.vertices.size(); ++i) {
            const Vertex& a = fused.vertices[i];
            const Vertex& b = apart.vertices[i];
            ASSERT_TRUE(SameBitsOrBothNaN(a.nx, b.nx) && SameBitsOrBothNaN(a.ny, b.ny) &&
                        SameBitsOrBothNaN(a.nz, b.nz))
                << "trial " << trial << " vertex " << i << ": " << a.nx << " " << a.ny << " "
                << a.nz << " vs " << b.nx << " " << b.ny << " " << b.nz;
        }
    }
}

struct CameraCase {
    const char* name;
    std::vector<float> position;  // first position key, empty for no track
    std::vector<float> target;    // first target key, empty for no track
    float matrix[16];
};

void SetTrack(std::vector<float>& key, int32_t& count, float*& x, float*& y, float*& z) {
    if (key.empty()) return;
    count = 1;
    x = &key[0];
    y = &key[1];
    z = &key[2];
}

TEST(SetupCamera, TableOfTracks) {
    const float a = 1.0f / std::sqrt(5.0f), b = 2.0f / std::sqrt(5.0f);
    CameraCase cases[] = {
        {"looking along +z",
         {0, 0, 0},
         {0, 0, 10},
         {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"moved, same direction",
         {1, 2, 3},
         {1, 2, 13},
         {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}},
        {"looking along x and up",
         {0, 0, 0},
         {10, 5, 0},
         {0, 0, 1, 0, a, -b, 0, 0, b, a, 0, 0, 0, 0, 0, 1}},
        {"position only", {4, 5, 6}, {}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1}},
        {"target only", {}, {1, 2, 3}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"no tracks", {}, {}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"target on the position",
         {4, 5, 6},
         {4, 5, 6},
         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1}},
        {"target straight above",
         {4, 5, 6},
         {4, 50, 6},
         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1}},
    };
    for (CameraCase& c : cases) {
        SCOPED_TRACE(c.name);
        Camera camera{};
        camera.matrix.fill(42.0f);
        SetTrack(c.position, camera.positionKeyCount, camera.positionKeyX, camera.positionKeyY,
                 camera.positionKeyZ);
        SetTrack(c.target, camera.targetKeyCount, camera.targetKeyX, camera.targetKeyY,
                 camera.targetKeyZ);
        SetupCamera(camera);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(camera.matrix[i], c.matrix[i], 1e-6f) << i;
    }
}

TEST(SetupCamera, TrackWithZeroKeysCountsAsAbsent) {
    float px = 1, py = 2, pz = 3, tx = 1, ty = 2, tz = 13;
    Camera camera{};
    camera.positionKeyX = &px;
    camera.positionKeyY = &py;
    camera.positionKeyZ = &pz;
    camera.positionKeyCount = 1;
    camera.targetKeyX = &tx;
    camera.targetKeyY = &ty;
    camera.targetKeyZ = &tz;
    camera.targetKeyCount = 0;  // arrays present but empty: no first key
    SetupCamera(camera);
    const float positionOnly[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(camera.matrix[i], positionOnly[i]) << i;

    camera.positionKeyCount = 0;
    camera.targetKeyCount = 1;
    SetupCamera(camera);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(camera.matrix[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
}

TEST(SetupCamera, RowsFormARightHandedFrame) {
    float px = 3, py = -2, pz = 7, tx = -11, ty = 4, tz = 0.5f;
    Camera camera{};
    camera.positionKeyCount = camera.targetKeyCount = 1;
    camera.positionKeyX = &px;
    camera.positionKeyY = &py;
    camera.positionKeyZ = &pz;
    camera.targetKeyX = &tx;
    camera.targetKeyY = &ty;
    camera.targetKeyZ = &tz;
    SetupCamera(camera);
    const Matrix4& m = camera.matrix;
    // row0 x row1 = row2, row 0 horizontal.
    EXPECT_NEAR(m[1] * m[6] - m[2] * m[5], m[8], 1e-6f);
    EXPECT_NEAR(m[2] * m[4] - m[0] * m[6], m[9], 1e-6f);
    EXPECT_NEAR(m[0] * m[5] - m[1] * m[4], m[10], 1e-6f);
    EXPECT_EQ(m[1], 0.0f);
}

}  // namespace
